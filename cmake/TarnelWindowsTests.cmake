# The Windows tests. They run under wine in the private prefix TN_WINE_PREFIX, whose TEMP is
# TN_WINE_TEMP (tools/wine-setup.sh prepares both; tools/build.sh windows-test runs them on a
# virtual display).
set(TN_WINE_PREFIX ${PROJECT_BINARY_DIR}/wine-prefix CACHE PATH "Private wine prefix of the tests")
set(TN_WINE_TEMP ${PROJECT_BINARY_DIR}/wine-temp CACHE PATH "The prefix's temporary directory")
set(TN_WIN_TESTS ${PROJECT_SOURCE_DIR}/tests/win)
set(TN_WINE_RUN ${PROJECT_SOURCE_DIR}/tools/wine-run.sh)
set(TN_WINE_ENV TN_WINE_PREFIX=${TN_WINE_PREFIX} TN_WINE_TIMEOUT=120)

add_executable(tn-test-viewer-win ${TN_WIN_TESTS}/helpers/TestViewerWin.cpp)

# Only system DLLs: nothing to ship beside the programs.
add_test(NAME WinImports COMMAND bash ${TN_WIN_TESTS}/check_imports.sh ${CMAKE_OBJDUMP}
  $<TARGET_FILE:quillet-offline> $<TARGET_FILE:tnzip>)

add_test(NAME WinExtractInterop COMMAND bash ${TN_WIN_TESTS}/extract_interop.sh)
set_tests_properties(WinExtractInterop PROPERTIES TIMEOUT 600 ENVIRONMENT
  "${TN_WINE_ENV};WINE_RUN=${TN_WINE_RUN};TNZIP=$<TARGET_FILE:tnzip>;LINUX_TNZIP=${TN_HOST_TNZIP};WORK=${PROJECT_BINARY_DIR}/test-interop")

add_test(NAME WinLauncher COMMAND bash ${TN_WIN_TESTS}/launcher_test.sh)
set_tests_properties(WinLauncher PROPERTIES TIMEOUT 600 RUN_SERIAL ON ENVIRONMENT
  "${TN_WINE_ENV};WINE_RUN=${TN_WINE_RUN};STUB=$<TARGET_FILE:quillet-offline>;PACK=${TN_HOST_PACK};STAMP=${TN_HOST_STAMP};VIEWER=$<TARGET_FILE:tn-test-viewer-win>;TEMP_DIR=${TN_WINE_TEMP};WORK=${PROJECT_BINARY_DIR}/test-launcher")

# The dialog template, icon and manifest as built into the stub.
add_test(NAME WinLauncherResources COMMAND bash ${TN_WIN_TESTS}/check_resources.sh ${CMAKE_RC_COMPILER}
  $<TARGET_FILE:quillet-offline>)

# The platform layer and the parts of the unit tests that need no POSIX system, as one
# Windows program run under wine (CMAKE_CROSSCOMPILING_EMULATOR).
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
add_executable(tarnel_tests_win ${TN_WIN_TESTS}/PlatformWinTest.cpp ${TN_WIN_TESTS}/TarnelDirWinTest.cpp
  ${PROJECT_SOURCE_DIR}/tests/TarnelHandleTest.cpp ${PROJECT_SOURCE_DIR}/tests/MemoryDataTest.cpp
  ${PROJECT_SOURCE_DIR}/tests/CodePageTableTest.cpp ${PROJECT_SOURCE_DIR}/tests/EncodingConvertTest.cpp)
target_include_directories(tarnel_tests_win PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(tarnel_tests_win PRIVATE tarnelzip gtest gtest_main)
target_compile_definitions(tarnel_tests_win PRIVATE TN_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
  TN_BINARY_DIR="${PROJECT_BINARY_DIR}")
# Left out: the code page tables against Python's and iconv's mappings (Linux programs; the
# tables are the same text), and two checks of Linux's own error message wording.
add_test(NAME WinUnitTests COMMAND tarnel_tests_win
  --gtest_filter=-*MatchesReference*:TarnelHandle.FailedSeekLogsMessageErrorAndPosition:TarnelHandle.FailedWriteLogsTheSystemError)
set_tests_properties(WinUnitTests PROPERTIES TIMEOUT 300 ENVIRONMENT "${TN_WINE_ENV}")
