# With BUILD_SHARED_LIBS: tarnelzip_shared, the same sources as tarnelzip built position
# independent with every symbol hidden but the public API (TARNEL_ZIP_API), versioned with a
# SONAME of major.minor (a 0.x library may change its interface with each minor version).
if(NOT BUILD_SHARED_LIBS)
  return()
endif()
add_library(tarnelzip_shared SHARED ${TN_LIB_SOURCES})
target_compile_definitions(tarnelzip_shared PRIVATE $<TARGET_PROPERTY:tarnelzip,COMPILE_DEFINITIONS>)
target_include_directories(tarnelzip_shared PUBLIC
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
  $<BUILD_INTERFACE:${TN_PUBLIC_INCLUDE_DIR}>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/tarnel>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_link_libraries(tarnelzip_shared PRIVATE $<TARGET_PROPERTY:tarnelzip,LINK_LIBRARIES>)
set_target_properties(tarnelzip_shared PROPERTIES
  OUTPUT_NAME tarnelzip
  EXPORT_NAME tarnelzip
  CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON
  VERSION ${PROJECT_VERSION}
  SOVERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR})
target_link_options(tarnelzip_shared PRIVATE -Wl,--no-undefined)
