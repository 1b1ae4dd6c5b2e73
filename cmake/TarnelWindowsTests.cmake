# The Windows tests. They run under wine in the private prefix TN_WINE_PREFIX, whose TEMP is
# TN_WINE_TEMP (tools/wine-setup.sh prepares both; tools/build.sh windows-test runs them on a
# virtual display).
set(TN_WINE_PREFIX ${PROJECT_BINARY_DIR}/wine-prefix CACHE PATH "Private wine prefix of the tests")
set(TN_WINE_TEMP ${PROJECT_BINARY_DIR}/wine-temp CACHE PATH "The prefix's temporary directory")
set(TN_WIN_TESTS ${PROJECT_SOURCE_DIR}/tests/win)
set(TN_WINE_RUN ${PROJECT_SOURCE_DIR}/tools/wine-run.sh)
set(TN_WINE_ENV TN_WINE_PREFIX=${TN_WINE_PREFIX} TN_WINE_TIMEOUT=120)

add_executable(tn-test-viewer-win ${TN_WIN_TESTS}/helpers/TestViewerWin.cpp)
add_executable(dialog-probe-win ${TN_WIN_TESTS}/helpers/DialogProbeWin.cpp)

# Only system DLLs: nothing to ship beside the programs.
add_test(NAME WinImports COMMAND bash ${TN_WIN_TESTS}/check_imports.sh ${CMAKE_OBJDUMP}
  $<TARGET_FILE:quillet-offline> $<TARGET_FILE:tnzip>)

add_test(NAME WinExtractInterop COMMAND bash ${TN_WIN_TESTS}/extract_interop.sh)
set_tests_properties(WinExtractInterop PROPERTIES TIMEOUT 600 ENVIRONMENT
  "${TN_WINE_ENV};WINE_RUN=${TN_WINE_RUN};TNZIP=$<TARGET_FILE:tnzip>;LINUX_TNZIP=${TN_HOST_TNZIP};WORK=${PROJECT_BINARY_DIR}/test-interop")

add_test(NAME WinLauncher COMMAND bash ${TN_WIN_TESTS}/launcher_test.sh)
set_tests_properties(WinLauncher PROPERTIES TIMEOUT 600 RUN_SERIAL ON ENVIRONMENT
  "${TN_WINE_ENV};WINE_RUN=${TN_WINE_RUN};STUB=$<TARGET_FILE:quillet-offline>;PACK=${TN_HOST_PACK};VIEWER=$<TARGET_FILE:tn-test-viewer-win>;PROBE=$<TARGET_FILE:dialog-probe-win>;TEMP_DIR=${TN_WINE_TEMP};WORK=${PROJECT_BINARY_DIR}/test-launcher")

# The dialog template, icon and manifest as built into the stub.
add_test(NAME WinLauncherResources COMMAND bash ${TN_WIN_TESTS}/check_resources.sh ${CMAKE_RC_COMPILER}
  $<TARGET_FILE:quillet-offline>)
