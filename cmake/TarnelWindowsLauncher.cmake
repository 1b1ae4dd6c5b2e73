# The Windows launcher stub quillet-offline.exe, the sample viewer offline.exe and the packed
# sample publication bin/velmora-field-guide.exe.
set(TN_LAUNCHER ${PROJECT_SOURCE_DIR}/launcher)
set(TN_WIN_GEN ${PROJECT_BINARY_DIR}/generated)
add_custom_command(OUTPUT ${TN_WIN_GEN}/quillet-offline.ico
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TN_WIN_GEN}
  COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/tools/make_icon.py ${TN_WIN_GEN}/quillet-offline.ico
  DEPENDS ${PROJECT_SOURCE_DIR}/tools/make_icon.py
  COMMENT "Drawing the launcher icon")
set_source_files_properties(${TN_LAUNCHER}/quillet-offline.rc PROPERTIES
  OBJECT_DEPENDS "${TN_WIN_GEN}/quillet-offline.ico;${TN_LAUNCHER}/quillet-offline.manifest;${TN_LAUNCHER}/QuilletResources.h")
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${TN_WIN_GEN} -I${TN_LAUNCHER}")

add_library(quillet_launcher_core STATIC ${TN_LAUNCHER}/LauncherNames.cpp ${TN_LAUNCHER}/LauncherWorkspace.cpp
  ${TN_LAUNCHER}/StubLength.cpp ${TN_LAUNCHER}/LauncherOutcome.cpp ${TN_LAUNCHER}/PublicationArchive.cpp)
target_link_libraries(quillet_launcher_core PUBLIC tarnelzip)

add_executable(quillet-offline WIN32 ${TN_LAUNCHER}/LauncherMainWin.cpp ${TN_LAUNCHER}/CBorvaneApp.cpp
  ${TN_LAUNCHER}/CBorvaneDlg.cpp ${TN_LAUNCHER}/DialogWindowWin.cpp ${TN_LAUNCHER}/LauncherInterrupts.cpp
  ${TN_LAUNCHER}/LauncherSequence.cpp ${TN_LAUNCHER}/LauncherOptions.cpp ${TN_LAUNCHER}/PayloadDigest.cpp
  ${TN_LAUNCHER}/quillet-offline.rc)
target_compile_definitions(quillet-offline PRIVATE QUILLET_VERSION="${PROJECT_VERSION}")
target_link_libraries(quillet-offline PRIVATE quillet_launcher_core tarnelzip comctl32)
target_link_options(quillet-offline PRIVATE -municode)
set_target_properties(quillet-offline PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
# Never strip or rewrite the stub after this step: the packer checks its stamped length.
add_custom_command(TARGET quillet-offline POST_BUILD
  COMMAND ${TN_HOST_STAMP} $<TARGET_FILE:quillet-offline>
  COMMENT "Stamping the stub length into quillet-offline.exe")

add_executable(offline-viewer WIN32 ${PROJECT_SOURCE_DIR}/examples/viewer/OfflineViewerWin.cpp)
target_link_options(offline-viewer PRIVATE -municode)
set_target_properties(offline-viewer PROPERTIES OUTPUT_NAME offline)

set(TN_SAMPLE_STAGE ${PROJECT_BINARY_DIR}/examples/publication)
set(TN_SAMPLE_OUT ${PROJECT_BINARY_DIR}/bin/velmora-field-guide.exe)
file(GLOB_RECURSE TN_SAMPLE_FILES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/examples/publication/*)
add_custom_command(OUTPUT ${TN_SAMPLE_OUT}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${TN_SAMPLE_STAGE}
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${PROJECT_SOURCE_DIR}/examples/publication ${TN_SAMPLE_STAGE}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:offline-viewer> ${TN_SAMPLE_STAGE}/offline.exe
  COMMAND ${TN_HOST_PACK} ${TN_SAMPLE_STAGE} -o ${TN_SAMPLE_OUT} --stub $<TARGET_FILE:quillet-offline>
  DEPENDS offline-viewer quillet-offline ${TN_SAMPLE_FILES}
  COMMENT "Packing the Windows sample publication")
add_custom_target(sample-publication ALL DEPENDS ${TN_SAMPLE_OUT})
