# kestron4.dll for 64-bit Windows, from the same object library as the Linux
# build. Included by the top-level CMakeLists.txt when building for Windows.
enable_language(RC)

# The GCC, C++ and thread runtimes go inside each binary, so that the DLL
# depends only on DLLs that every Windows has.
set(KESTRON4_WIN_STATIC -static -static-libgcc -static-libstdc++)
set_target_properties(kestron4_obj PROPERTIES POSITION_INDEPENDENT_CODE OFF)
target_compile_definitions(kestron4_obj PUBLIC _WIN32_WINNT=0x0601 UNICODE _UNICODE)

add_library(kestron4 SHARED $<TARGET_OBJECTS:kestron4_obj>
            ${PROJECT_SOURCE_DIR}/src/api/kestron4.def
            ${PROJECT_SOURCE_DIR}/src/api/kestron4.rc)
target_include_directories(kestron4 PUBLIC
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_link_libraries(kestron4 PRIVATE bcrypt version)
target_link_options(kestron4 PRIVATE ${KESTRON4_WIN_STATIC} -Wl,--no-undefined)
# kestron4.dll and its import library libkestron4.dll.a, without a "lib" prefix
# on the DLL, as Windows programs expect.
set_target_properties(kestron4 PROPERTIES PREFIX "" IMPORT_PREFIX "lib")
add_library(kestron4::kestron4 ALIAS kestron4)

add_library(kestron4_static STATIC $<TARGET_OBJECTS:kestron4_obj>)
target_link_libraries(kestron4_static PUBLIC Threads::Threads bcrypt version)
target_include_directories(kestron4_static PUBLIC
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/src>)

install(TARGETS kestron4 RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/src/api/kestron4.def DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/kestron4 DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

if(KESTRON4_BUILD_TESTS)
  enable_testing()
  add_subdirectory(tests/windows)
endif()
