// The process's ANSI and OEM code pages, the platform's counterparts of GetACP and GetOEMCP.
#pragma once

class SystemCodePage {
public:
    // 65001 when the environment's locale (LC_ALL, LC_CTYPE, LANG) has a UTF-8 codeset, else
    // 1252. Read anew at each call and without changing the process's own locale.
    static int ansi();
    // 437 on every POSIX system.
    static int oem();
};
