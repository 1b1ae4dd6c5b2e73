// The process's ANSI and OEM code pages as the system reports them.
#include "base/SystemCodePage.h"

#include <windows.h>

int SystemCodePage::ansi() { return int(GetACP()); }

int SystemCodePage::oem() { return int(GetOEMCP()); }
