// The library's version at run time.
#include "tarnel/TnZipVersion.h"

int TnZipVersion() { return TARNEL_ZIP_VERSION; }
const char* TnZipVersionString() { return TARNEL_ZIP_VERSION_STRING; }
