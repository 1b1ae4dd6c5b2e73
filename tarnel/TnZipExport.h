// Tarnel Zip: marks what the library exports. A shared build hides every other symbol.
#pragma once

#if defined(__GNUC__) && !defined(_WIN32)
#define TARNEL_ZIP_API __attribute__((visibility("default")))
#else
#define TARNEL_ZIP_API
#endif
