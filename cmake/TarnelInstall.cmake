# Installs the library (the shared one in a BUILD_SHARED_LIBS build, else the static one, either
# without debug information unless TN_INSTALL_STRIP_DEBUG is off), its public headers under
# include/tarnel/, the CMake package TarnelZip (imported target TarnelZip::tarnelzip with its
# link dependencies) and the pkg-config file tarnelzip.pc beside it.
include(CMakePackageConfigHelpers)

# TN_PUBLIC_HEADERS comes from TarnelPublicHeaders.cmake.
install(FILES ${TN_PUBLIC_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tarnel)

set(TN_INSTALLED_LIBRARY tarnelzip)
if(BUILD_SHARED_LIBS)
  set(TN_INSTALLED_LIBRARY tarnelzip_shared)
endif()
install(TARGETS ${TN_INSTALLED_LIBRARY} EXPORT TarnelZipTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
if(TN_INSTALL_STRIP_DEBUG AND CMAKE_STRIP)
  install(CODE "execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-debug
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/$<TARGET_FILE_NAME:${TN_INSTALLED_LIBRARY}>\")")
endif()

set(TN_PC_REQUIRES libgcrypt)
if(TN_METHOD_LZMA)
  string(APPEND TN_PC_REQUIRES " liblzma")
endif()
if(TN_METHOD_ZSTD)
  string(APPEND TN_PC_REQUIRES " libzstd")
endif()
# Relative to where it is installed, so that the prefix can be chosen at install time.
file(RELATIVE_PATH TN_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" TN_PC_TO_PREFIX "${TN_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/tarnelzip.pc.in ${PROJECT_BINARY_DIR}/tarnelzip.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/tarnelzip.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

set(TN_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/TarnelZip)
install(EXPORT TarnelZipTargets NAMESPACE TarnelZip:: DESTINATION ${TN_PACKAGE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/TarnelZipConfig.cmake.in
  ${PROJECT_BINARY_DIR}/TarnelZipConfig.cmake INSTALL_DESTINATION ${TN_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/TarnelZipConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/TarnelZipConfig.cmake ${PROJECT_BINARY_DIR}/TarnelZipConfigVersion.cmake
  DESTINATION ${TN_PACKAGE_DIR})
