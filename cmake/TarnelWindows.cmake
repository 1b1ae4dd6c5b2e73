# The Windows programs: the library (static, same public headers), tnzip.exe, the launcher stub
# quillet-offline.exe, the sample viewer offline.exe and a packed sample publication, and the
# tests that run under wine. Cross-built on Debian with cmake/mingw-w64-x86_64.cmake; the
# host's quillet-stamp and quillet-pack (from a Linux build) stamp the stub and pack.
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)
if(NOT CMAKE_BUILD_TYPE)
  # Release: the stub is what every reader downloads, so no debug information in it.
  set(CMAKE_BUILD_TYPE Release CACHE STRING "Build type" FORCE)
endif()
option(TN_TESTS "Build the tests" ON)
set(TN_HOST_STAMP "" CACHE FILEPATH "quillet-stamp of a Linux build")
set(TN_HOST_PACK "" CACHE FILEPATH "quillet-pack of a Linux build")
set(TN_HOST_TNZIP "" CACHE FILEPATH "tnzip of a Linux build (the tests compare with it)")
if(NOT TN_HOST_STAMP OR NOT TN_HOST_PACK)
  message(FATAL_ERROR "Set TN_HOST_STAMP and TN_HOST_PACK to the Linux build's quillet-stamp and "
    "quillet-pack (tools/build.sh windows does).")
endif()

add_compile_options(-Wall -Wextra)
# Windows 7 and later; wide (UTF-16) system calls throughout.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 UNICODE _UNICODE)
# Debian has no MinGW builds of libbz2, liblzma or libzstd: those methods fail as unsupported.
add_compile_definitions(TN_METHOD_BZIP2=0 TN_METHOD_LZMA=0 TN_METHOD_ZSTD=0)
# Nothing to ship beside the programs: the C and C++ runtimes and libgcrypt are linked in, so
# they import only system DLLs.
add_link_options(-static -static-libgcc -static-libstdc++ -s)

include(GNUInstallDirs)
find_package(Threads REQUIRED)
find_library(TN_GCRYPT_LIB NAMES libgcrypt.a REQUIRED)
find_library(TN_GPGERROR_LIB NAMES libgpg-error.a REQUIRED)
add_library(tn_gcrypt INTERFACE)
target_link_libraries(tn_gcrypt INTERFACE ${TN_GCRYPT_LIB} ${TN_GPGERROR_LIB} ws2_32)

# The library: the Linux build's sources with the Win32 twins in place of the POSIX platform
# files, no libbz2, and the code page tables compiled in unpacked.
set(TN_LIB_DIRS base log codecs crypto pipeline zip extract archive tarnel)
set(TN_LIB_GLOBS)
foreach(dir IN LISTS TN_LIB_DIRS)
  list(APPEND TN_LIB_GLOBS ${PROJECT_SOURCE_DIR}/${dir}/*.cpp)
endforeach()
file(GLOB TN_LIB_SOURCES CONFIGURE_DEPENDS ${TN_LIB_GLOBS})
foreach(posix base/PlatformFiles base/PlatformClock base/PlatformShell base/TickCount base/SystemCodePage
    base/TarnelDir base/PlatformTempFile codecs/TarnelBzip2 base/CodePageTableText crypto/Sha256)
  list(REMOVE_ITEM TN_LIB_SOURCES ${PROJECT_SOURCE_DIR}/${posix}.cpp)
endforeach()
set(TN_PLAIN_TABLES ${PROJECT_BINARY_DIR}/generated/CodePageTableTextPlain.cpp)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_custom_command(OUTPUT ${TN_PLAIN_TABLES}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/generated
  COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/tools/uncompress_codepage_tables.py
    ${PROJECT_SOURCE_DIR}/base/CodePageTableText.cpp ${TN_PLAIN_TABLES}
  DEPENDS ${PROJECT_SOURCE_DIR}/base/CodePageTableText.cpp ${PROJECT_SOURCE_DIR}/tools/uncompress_codepage_tables.py
  COMMENT "Unpacking the code page tables")
add_library(tarnelzip STATIC ${TN_LIB_SOURCES} ${TN_PLAIN_TABLES})
include(${PROJECT_SOURCE_DIR}/cmake/TarnelPublicHeaders.cmake)
target_include_directories(tarnelzip PUBLIC
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
  $<BUILD_INTERFACE:${TN_PUBLIC_INCLUDE_DIR}>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/tarnel>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_link_libraries(tarnelzip PUBLIC tn_gcrypt Threads::Threads shell32 advapi32 bcrypt ntdll)

add_executable(tnzip ${PROJECT_SOURCE_DIR}/tools/tnzip.cpp ${PROJECT_SOURCE_DIR}/tools/TnzipArchive.cpp
  ${PROJECT_SOURCE_DIR}/tools/TnzipPrompt.cpp ${PROJECT_SOURCE_DIR}/tools/TnzipSpool.cpp
  ${PROJECT_SOURCE_DIR}/tools/TnzipProgressLine.cpp)
target_link_libraries(tnzip PRIVATE tarnelzip)

include(${CMAKE_CURRENT_LIST_DIR}/TarnelWindowsLauncher.cmake)
if(TN_TESTS)
  enable_testing()
  include(${CMAKE_CURRENT_LIST_DIR}/TarnelWindowsTests.cmake)
endif()

install(TARGETS tarnelzip ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${TN_PUBLIC_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tarnel)
install(TARGETS tnzip quillet-offline RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
