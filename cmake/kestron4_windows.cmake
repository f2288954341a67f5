# kestron4.dll for 64-bit Windows, from the same object library as the Linux
# build. Included by the top-level CMakeLists.txt when building for Windows.
enable_language(RC)

# The GCC, C++ and thread runtimes go inside each binary, so that the DLL
# depends only on DLLs that every Windows has.
set(KESTRON4_WIN_STATIC -static -static-libgcc -static-libstdc++)
set_target_properties(kestron4_obj PROPERTIES POSITION_INDEPENDENT_CODE OFF)
target_compile_definitions(kestron4_obj PUBLIC _WIN32_WINNT=0x0601 UNICODE _UNICODE)

set(KESTRON4_DLL_ENTRY ${PROJECT_SOURCE_DIR}/src/storage/platform/win32_dll_entry.cc)
set_source_files_properties(${KESTRON4_DLL_ENTRY} PROPERTIES COMPILE_OPTIONS "${KESTRON4_WARNINGS}")
add_library(kestron4 SHARED $<TARGET_OBJECTS:kestron4_obj> ${KESTRON4_DLL_ENTRY}
            ${PROJECT_SOURCE_DIR}/src/api/kestron4.def
            ${PROJECT_SOURCE_DIR}/src/api/kestron4.rc)
target_include_directories(kestron4 PUBLIC
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_link_libraries(kestron4 PRIVATE kestron4_platform bcrypt version)
# The entry point wraps the runtime's (win32_dll_entry.cc).
target_link_options(kestron4 PRIVATE ${KESTRON4_WIN_STATIC} -Wl,--no-undefined
                    -Wl,--entry=KestronDllEntry)
# kestron4.dll and its import library libkestron4.dll.a, without a "lib" prefix
# on the DLL, as Windows programs expect.
set_target_properties(kestron4 PROPERTIES PREFIX "" IMPORT_PREFIX "lib")
add_library(kestron4::kestron4 ALIAS kestron4)

add_library(kestron4_static STATIC $<TARGET_OBJECTS:kestron4_obj>)
target_link_libraries(kestron4_static PUBLIC kestron4_platform Threads::Threads bcrypt version)
target_include_directories(kestron4_static PUBLIC
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/src>)

install(TARGETS kestron4 RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/src/api/kestron4.def DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/kestron4 DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

# CLI11 and nlohmann_json are header-only: the host's copies serve, seen
# through a folder of links so that the rest of the host's /usr/include (its
# C library) stays out of the cross compiler's way.
set(KESTRON4_HOST_HEADERS ${PROJECT_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${KESTRON4_HOST_HEADERS})
foreach(header_dir CLI nlohmann)
  if(NOT EXISTS /usr/include/${header_dir})
    message(FATAL_ERROR "/usr/include/${header_dir} is missing: run tools/install-deps.sh")
  endif()
  file(CREATE_LINK /usr/include/${header_dir} ${KESTRON4_HOST_HEADERS}/${header_dir} SYMBOLIC)
endforeach()
foreach(header_lib CLI11::CLI11 nlohmann_json::nlohmann_json)
  add_library(${header_lib} INTERFACE IMPORTED)
  set_target_properties(${header_lib} PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${KESTRON4_HOST_HEADERS})
endforeach()

add_subdirectory(src/recording)

if(KESTRON4_BUILD_TOOLS)
  add_subdirectory(tools/kstrn)
  target_compile_definitions(kstrn_process PRIVATE _WIN32_WINNT=0x0601 UNICODE _UNICODE)
  target_link_libraries(kstrn_process PUBLIC shell32)  # CommandLineToArgvW
endif()

if(KESTRON4_BUILD_TESTS)
  enable_testing()
  add_subdirectory(tests/windows)
endif()
