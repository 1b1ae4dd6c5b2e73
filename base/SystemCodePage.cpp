// Locale lookups for the ANSI code page. A private locale object keeps the call thread-safe:
// setlocale would change the whole process's locale under other threads.
#include "base/SystemCodePage.h"

#include <langinfo.h>
#include <locale.h>

#include <cstring>

int SystemCodePage::ansi() {
    locale_t loc = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
    if (loc == static_cast<locale_t>(nullptr)) return 1252;
    const char* codeset = nl_langinfo_l(CODESET, loc);
    bool utf8 = codeset != nullptr && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
    freelocale(loc);
    return utf8 ? 65001 : 1252;
}

int SystemCodePage::oem() { return 437; }
