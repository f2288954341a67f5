# Regenerates the seed corpus into SCRATCH and fails when it differs from the
# committed one in CORPUS (run tools/run-fuzz.sh --seeds to refresh it).
file(REMOVE_RECURSE ${SCRATCH})
execute_process(COMMAND ${GENERATOR} ${SCRATCH} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the seed generator failed")
endif()
file(GLOB_RECURSE fresh RELATIVE ${SCRATCH} ${SCRATCH}/*)
foreach(name ${fresh})
  if(NOT EXISTS ${CORPUS}/${name})
    message(FATAL_ERROR "seed ${name} is not committed")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${SCRATCH}/${name} ${CORPUS}/${name}
                  RESULT_VARIABLE differs)
  if(NOT differs EQUAL 0)
    message(FATAL_ERROR "seed ${name} differs from the generator's output")
  endif()
endforeach()
