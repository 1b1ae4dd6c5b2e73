# Installs the library, its public headers under include/tarnel/ and the CMake package TarnelZip
# (imported target TarnelZip::tarnelzip with its link dependencies).
include(CMakePackageConfigHelpers)

set(TN_PUBLIC_HEADERS
  ${PROJECT_SOURCE_DIR}/archive/TnZip.h
  ${PROJECT_SOURCE_DIR}/archive/TnZipProgress.h
  ${PROJECT_SOURCE_DIR}/archive/TnObject.h
  ${PROJECT_SOURCE_DIR}/archive/TnString.h)
install(FILES ${TN_PUBLIC_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tarnel)

install(TARGETS tarnelzip EXPORT TarnelZipTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(TN_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/TarnelZip)
install(EXPORT TarnelZipTargets NAMESPACE TarnelZip:: DESTINATION ${TN_PACKAGE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/TarnelZipConfig.cmake.in
  ${PROJECT_BINARY_DIR}/TarnelZipConfig.cmake INSTALL_DESTINATION ${TN_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/TarnelZipConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/TarnelZipConfig.cmake ${PROJECT_BINARY_DIR}/TarnelZipConfigVersion.cmake
  DESTINATION ${TN_PACKAGE_DIR})
