# What `cmake --install` puts in place: the headers, the shared library with
# its SONAME links, a relocatable CMake package (find_package(kestron4) gives
# kestron4::kestron4 and kestron4_TIDS_FILE) and a pkg-config file. Every path inside the package
# files is relative to where they are installed, so the installed tree can be
# moved as a whole.
include(CMakePackageConfigHelpers)

set(KESTRON4_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kestron4)

install(TARGETS kestron4 EXPORT kestron4Targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY include/kestron4 DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
if(EXISTS ${PROJECT_SOURCE_DIR}/data/tids.tsv)
  install(FILES ${PROJECT_SOURCE_DIR}/data/tids.tsv DESTINATION ${KESTRON4_TIDS_INSTALL_DIR})
endif()
install(EXPORT kestron4Targets NAMESPACE kestron4:: DESTINATION ${KESTRON4_CMAKE_DIR})

# The installed package: every path relative to where it lies.
set(KESTRON4_TIDS_FILE ${KESTRON4_TIDS_INSTALL_DIR}/tids.tsv)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/kestron4Config.cmake.in
  ${PROJECT_BINARY_DIR}/package/kestron4Config.cmake
  INSTALL_DESTINATION ${KESTRON4_CMAKE_DIR}
  PATH_VARS KESTRON4_TIDS_FILE)
# The build tree is a package too (kestron4_DIR=<build dir>): its own targets
# file, headers and dictionary from the source tree.
set(KESTRON4_TIDS_FILE ${PROJECT_SOURCE_DIR}/data/tids.tsv)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/kestron4Config.cmake.in
  ${PROJECT_BINARY_DIR}/kestron4Config.cmake
  INSTALL_DESTINATION ${PROJECT_BINARY_DIR}
  INSTALL_PREFIX ${PROJECT_BINARY_DIR}
  PATH_VARS KESTRON4_TIDS_FILE)
export(EXPORT kestron4Targets NAMESPACE kestron4:: FILE ${PROJECT_BINARY_DIR}/kestron4Targets.cmake)
# The SONAME changes with the major version only.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kestron4ConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/package/kestron4Config.cmake
              ${PROJECT_BINARY_DIR}/kestron4ConfigVersion.cmake
  DESTINATION ${KESTRON4_CMAKE_DIR})

# pkg-config finds the prefix from the .pc file's own directory.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  message(FATAL_ERROR "kestron4.pc needs CMAKE_INSTALL_LIBDIR and CMAKE_INSTALL_INCLUDEDIR relative to the prefix")
endif()
file(RELATIVE_PATH KESTRON4_PC_TO_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
configure_file(${PROJECT_SOURCE_DIR}/cmake/kestron4.pc.in ${PROJECT_BINARY_DIR}/kestron4.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/kestron4.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
