# The public headers as programs include them, "tarnel/NAME.h", in the build tree too: the
# version header is generated, the public headers of archive/ are copied beside it, and the
# headers of tarnel/ are found from the source root. Programs built on the public API alone
# (tools/tnzip, the examples) include nothing else.
set(TN_PUBLIC_INCLUDE_DIR ${PROJECT_BINARY_DIR}/include)
configure_file(${PROJECT_SOURCE_DIR}/tarnel/TnZipVersion.h.in ${TN_PUBLIC_INCLUDE_DIR}/tarnel/TnZipVersion.h @ONLY)
set(TN_ARCHIVE_PUBLIC_HEADERS TnZip.h TnZipProgress.h TnObject.h TnString.h)
foreach(header IN LISTS TN_ARCHIVE_PUBLIC_HEADERS)
  configure_file(${PROJECT_SOURCE_DIR}/archive/${header} ${TN_PUBLIC_INCLUDE_DIR}/tarnel/${header} COPYONLY)
endforeach()
# What cmake --install puts under include/tarnel/.
set(TN_PUBLIC_HEADERS ${TN_PUBLIC_INCLUDE_DIR}/tarnel/TnZipVersion.h)
foreach(header IN LISTS TN_ARCHIVE_PUBLIC_HEADERS)
  list(APPEND TN_PUBLIC_HEADERS ${PROJECT_SOURCE_DIR}/archive/${header})
endforeach()
file(GLOB TN_TARNEL_HEADERS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tarnel/*.h)
list(APPEND TN_PUBLIC_HEADERS ${TN_TARNEL_HEADERS})
