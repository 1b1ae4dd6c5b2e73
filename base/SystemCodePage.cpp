// Locale lookups for the ANSI code page. A private locale object keeps the call thread-safe:
// setlocale would change the whole process's locale under other threads.
#include "base/SystemCodePage.h"

#include <langinfo.h>
#include <locale.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {
int lookUpAnsi() {
    locale_t loc = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
    if (loc == static_cast<locale_t>(nullptr)) return 1252;
    const char* codeset = nl_langinfo_l(CODESET, loc);
    bool utf8 = codeset != nullptr && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
    freelocale(loc);
    return utf8 ? 65001 : 1252;
}
}  // namespace

// Loading a locale maps its files, and every logged name asks: the answer is kept (per thread)
// until the variables that choose the locale change.
int SystemCodePage::ansi() {
    thread_local std::string chosenBy;
    thread_local int page = 0;
    std::string key;
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(name);
        key += value ? value : "";
        key += '\n';
    }
    if (page == 0 || key != chosenBy) {
        page = lookUpAnsi();
        chosenBy = std::move(key);
    }
    return page;
}

int SystemCodePage::oem() { return 437; }
