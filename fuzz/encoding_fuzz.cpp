// Converts random bytes between random pairs of supported code pages under ASan/UBSan, and
// checks the round trips that hold: UTF-16 through UTF-8, UTF-7, UTF-32 and UTF-16BE and back;
// a table page's decoding is stable under encoding and decoding again.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/CodePageTableText.h"
#include "base/CodePageTables.h"
#include "base/DataBuffer.h"
#include "base/EncodingConvert.h"

namespace {

std::vector<int> supportedPages() {
    std::vector<int> pages = {65001, 1200, 1201, 65000, 65005, 65006, 50220, 50221, 50222, 50225, 28591, 99999};
    int count = 0;
    const CodePageTableText::Entry* entries = CodePageTableText::entries(count);
    for (int i = 0; i < count; ++i) pages.push_back(entries[i].codePage);
    return pages;
}

std::string convert(int from, int to, const std::string& in, bool* ok = nullptr) {
    DataBuffer out;
    bool result = EncodingConvert().convert(from, to, in.data(), static_cast<std::uint32_t>(in.size()), out);
    if (ok != nullptr) *ok = result;
    return std::string(reinterpret_cast<const char*>(out.data()), out.size());
}

void require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "property failed: %s\n", what);
    std::abort();
}

// UTF-16 without zero units or a leading mark survives a trip through each Unicode form.
void unicodeRoundTrip(std::string text, std::uint8_t selector) {
    text.resize(text.size() & ~size_t{1});
    for (size_t i = 0; i < text.size(); i += 2) {
        if (text[i] == 0 && text[i + 1] == 0) text[i] = 1;
    }
    std::string start = text.substr(0, 2);
    if (start == "\xFF\xFE" || start == "\xFE\xFF") text[0] = 'x';  // would be read as a byte order mark
    static const int kForms[] = {65001, 65000, 65005, 65006, 1201};
    int form = kForms[selector % 5];
    bool there = false;
    bool back = false;
    std::string result = convert(form, 1200, convert(1200, form, text, &there), &back);
    require(there && back, "Unicode round trip reports a loss");
    require(result == text, "Unicode round trip changes the text");
}

// Decoding a table page, encoding the result and decoding again gives the same units.
void tableRoundTrip(int page, const std::string& bytes) {
    if (!CodePageTables::has(page) || page == 10001 || page == 10004) return;  // asymmetric by design
    std::string units = convert(page, 1200, bytes);
    bool ok = false;
    std::string encoded = convert(1200, page, units, &ok);
    require(ok, "re-encoding decoded text reports a loss");
    require(convert(page, 1200, encoded) == units, "table decoding is not stable");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    static const std::vector<int> pages = supportedPages();
    if (size < 3) return 0;
    int from = pages[data[1] % pages.size()];
    int to = pages[data[2] % pages.size()];
    std::string body(reinterpret_cast<const char*>(data + 3), size - 3);
    switch (data[0] % 3) {
        case 0: convert(from, to, body); break;
        case 1: unicodeRoundTrip(body, data[1]); break;
        default: tableRoundTrip(from, body); break;
    }
    return 0;
}
