// StringBuffer: growth, editing and queries of the library's 8-bit text.
#include "base/StringBuffer.h"

#include <cstdlib>
#include <cstring>

#include "base/DataBuffer.h"
#include "base/EncodingConvert.h"
#include "base/PlatformFiles.h"

namespace {

constexpr std::uint8_t kLiveMarker = 0xAA;
constexpr int kMaxGrowth = 500000;
constexpr std::int64_t kMaxCapacity = 0x7FFFFFFF;

// Shared by every buffer whose first allocation failed; never written to, never freed.
const char kStaticEmpty[1] = {0};

char* staticEmpty() { return const_cast<char*>(kStaticEmpty); }

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

int textLength(const char* text) {
    std::size_t n = std::strlen(text);
    return n > static_cast<std::size_t>(kMaxCapacity - 1) ? -1 : static_cast<int>(n);
}

// A private copy of an argument that lies inside the buffer being edited, so the edit cannot
// overwrite its own input. Arguments from elsewhere are used in place.
class SafeArg {
public:
    SafeArg(const char* text, int n, const char* blockBegin, const char* blockEnd) : m_text(text), m_copy(nullptr) {
        if (text == nullptr || text < blockBegin || text >= blockEnd) return;
        m_copy = static_cast<char*>(std::malloc(static_cast<std::size_t>(n) + 1));
        if (m_copy != nullptr) std::memcpy(m_copy, text, static_cast<std::size_t>(n));
        m_text = m_copy;
    }
    ~SafeArg() { std::free(m_copy); }
    SafeArg(const SafeArg&) = delete;
    SafeArg& operator=(const SafeArg&) = delete;
    const char* get() const { return m_text; }

private:
    const char* m_text;
    char* m_copy;
};

}  // namespace

StringBuffer::StringBuffer()
    : m_marker(kLiveMarker), m_tag(0), m_data(staticEmpty()), m_capacity(1), m_length(0), m_growth(202) {
    if (!allocateInitial(202)) allocateInitial(4);
}

StringBuffer::StringBuffer(const char* text)
    : m_marker(kLiveMarker), m_tag(0), m_data(staticEmpty()), m_capacity(1), m_length(0), m_growth(200) {
    int n = text == nullptr ? 0 : textLength(text);
    if (text == nullptr || n < 0) {
        allocateInitial(4);
        return;
    }
    if (!allocateInitial(n + 1)) return;
    std::memcpy(m_data, text, static_cast<std::size_t>(n));
    setLength(n);
}

StringBuffer::StringBuffer(const StringBuffer& other)
    : TarnelObject(other),
      m_marker(kLiveMarker),
      m_tag(other.tag()),
      m_data(staticEmpty()),
      m_capacity(1),
      m_length(0),
      m_growth(200) {
    if (!allocateInitial(other.m_length + 1)) return;
    std::memcpy(m_data, other.m_data, static_cast<std::size_t>(other.m_length));
    setLength(other.m_length);
}

StringBuffer::StringBuffer(int capacity, bool)
    : m_marker(kLiveMarker),
      m_tag(0),
      m_data(staticEmpty()),
      m_capacity(1),
      m_length(0),
      m_growth(capacity > 0 ? capacity : 200) {
    allocateInitial(m_growth);
}

StringBuffer& StringBuffer::operator=(const StringBuffer& other) {
    if (this != &other) {
        setFrom(other);
        setTag(other.tag());
    }
    return *this;
}

StringBuffer::~StringBuffer() {
    check();
    if (!isStatic()) std::free(m_data);
    m_data = nullptr;
    m_capacity = 0;
    m_length = 0;
    // Volatile: a plain store to a dying object may be optimised away.
    *static_cast<volatile std::uint8_t*>(&m_marker) = 0;
}

void StringBuffer::check() const {
    if (m_marker != kLiveMarker) std::abort();
}

bool StringBuffer::isStatic() const { return m_data == kStaticEmpty; }

// The only writer of m_length: keeps data[length] == 0 (the static string already is).
void StringBuffer::setLength(int n) {
    m_length = n;
    if (!isStatic()) m_data[n] = 0;
}

bool StringBuffer::allocateInitial(int capacity) {
    char* block = static_cast<char*>(std::malloc(static_cast<std::size_t>(capacity)));
    if (block == nullptr) return false;
    block[0] = 0;
    m_data = block;
    m_capacity = capacity;
    return true;
}

// Moves the content into a new block of newCapacity bytes and copies n bytes of `extra` after
// it. The old block is freed last, so `extra` may point into it. Length is left to the caller.
bool StringBuffer::reallocate(std::int64_t newCapacity, const void* extra, int n) {
    if (newCapacity > kMaxCapacity) return false;
    char* block = static_cast<char*>(std::malloc(static_cast<std::size_t>(newCapacity)));
    if (block == nullptr) return false;
    std::memcpy(block, m_data, static_cast<std::size_t>(m_length) + 1);
    if (n > 0) std::memcpy(block + m_length, extra, static_cast<std::size_t>(n));
    if (!isStatic()) std::free(m_data);
    m_data = block;
    m_capacity = static_cast<std::int32_t>(newCapacity);
    return true;
}

// Appends n bytes (n > 0). A new block holds length + n + growth bytes, plus one for text
// appends; the growth step then follows half the new size, up to kMaxGrowth.
bool StringBuffer::appendRaw(const void* bytes, int n, Grow kind) {
    std::int64_t needed = static_cast<std::int64_t>(m_length) + n;
    if (needed + 1 <= m_capacity) {
        std::memmove(m_data + m_length, bytes, static_cast<std::size_t>(n));
        setLength(static_cast<int>(needed));
        return true;
    }
    std::int64_t newCapacity = needed + m_growth + (kind == Grow::Bytes ? 0 : 1);
    if (newCapacity < needed + 1) newCapacity = needed + 1;
    if (!reallocate(newCapacity, bytes, n)) return false;
    setLength(static_cast<int>(needed));
    if (m_growth < kMaxGrowth) {
        m_growth = m_capacity / 2 < kMaxGrowth ? m_capacity / 2 : kMaxGrowth;
    }
    return true;
}

bool StringBuffer::ensureRoom(int n) {
    check();
    if (n <= 0 || static_cast<std::int64_t>(m_length) + n + 1 <= m_capacity) return true;
    return reallocate(static_cast<std::int64_t>(m_length) + n + m_growth + 1, nullptr, 0);
}

void StringBuffer::shrinkToFit() {
    check();
    if (m_length + 4 < m_capacity) reallocate(m_length + 1, nullptr, 0);
}

bool StringBuffer::takeData(DataBuffer& other) {
    check();
    clear();
    std::uint32_t size = other.size();
    if (size < 2) return true;
    if (size > static_cast<std::uint32_t>(kMaxCapacity) || other.capacity() > kMaxCapacity) return false;
    if (other.isBorrowed()) {
        bool terminated = other.data()[size - 1] == 0;
        bool ok = appendBytes(other.data(), static_cast<int>(terminated ? size - 1 : size));
        other.detach();
        return ok;
    }
    // Without its terminator the block would not be a text; add one (the block grows).
    if (other.data()[size - 1] != 0 && !other.appendByte(0)) return false;
    if (!isStatic()) std::free(m_data);
    m_data = reinterpret_cast<char*>(other.data());
    m_capacity = static_cast<std::int32_t>(other.capacity());
    m_length = static_cast<std::int32_t>(other.size() - 1);
    m_growth = 1024;
    other.detach();
    return true;
}

bool StringBuffer::append(const char* text) {
    check();
    if (text == nullptr) return true;
    int n = textLength(text);
    if (n <= 0) return n == 0;
    return appendRaw(text, n, Grow::Text);
}

bool StringBuffer::appendBytes(const void* bytes, int n) {
    check();
    if (bytes == nullptr || n <= 0) return true;
    return appendRaw(bytes, n, Grow::Bytes);
}

// Sized like a byte append: 202 single characters into a new buffer end at capacity 404.
bool StringBuffer::appendChar(char c) {
    check();
    return appendRaw(&c, 1, Grow::Bytes);
}

bool StringBuffer::appendCharRepeated(char c, int n) {
    check();
    if (n <= 0) return true;
    std::int64_t needed = static_cast<std::int64_t>(m_length) + n;
    if (needed + 1 > m_capacity && !reallocate(needed + m_growth + 1, nullptr, 0)) return false;
    std::memset(m_data + m_length, c, static_cast<std::size_t>(n));
    setLength(static_cast<int>(needed));
    return true;
}

bool StringBuffer::appendBuffer(const StringBuffer& other) {
    check();
    other.check();
    return appendBytes(other.m_data, other.m_length);
}

bool StringBuffer::prepend(const char* text) {
    check();
    if (text == nullptr) return true;
    int n = textLength(text);
    if (n <= 0) return n == 0;
    return replaceSpan(0, 0, text, n);
}

bool StringBuffer::setString(const char* text) {
    check();
    if (text == nullptr) return true;
    int n = textLength(text);
    if (n < 0) return false;
    if (text >= m_data && text < m_data + m_capacity) {
        // A suffix of this very text: slide it to the front, no allocation needed.
        std::memmove(m_data, text, static_cast<std::size_t>(n));
        setLength(n);
        return true;
    }
    clear();
    return n == 0 || appendRaw(text, n, Grow::Text);
}

bool StringBuffer::setFrom(const StringBuffer& other) {
    check();
    other.check();
    if (&other == this) return true;
    clear();
    return appendBytes(other.m_data, other.m_length);
}

void StringBuffer::clear() {
    check();
    setLength(0);
}

void StringBuffer::wipe() {
    check();
    if (m_length > 0) std::memset(m_data, ' ', static_cast<std::size_t>(m_length));
    setLength(0);
}

void StringBuffer::trim() {
    check();
    int end = m_length;
    while (end > 0 && isSpace(m_data[end - 1])) --end;
    int begin = 0;
    while (begin < end && isSpace(m_data[begin])) ++begin;
    if (begin > 0) std::memmove(m_data, m_data + begin, static_cast<std::size_t>(end - begin));
    if (end - begin != m_length) setLength(end - begin);
}

void StringBuffer::dropLast(int n) {
    check();
    if (n <= 0) return;
    setLength(n >= m_length ? 0 : m_length - n);
}

void StringBuffer::truncateAtChar(char c) {
    check();
    const void* hit = std::memchr(m_data, c, static_cast<std::size_t>(m_length));
    if (hit != nullptr) setLength(static_cast<int>(static_cast<const char*>(hit) - m_data));
}

void StringBuffer::removeChar(char c) {
    check();
    int kept = 0;
    for (int i = 0; i < m_length; ++i) {
        if (m_data[i] != c) m_data[kept++] = m_data[i];
    }
    if (kept != m_length) setLength(kept);
}

void StringBuffer::replaceChar(char from, char to) {
    check();
    for (int i = 0; i < m_length; ++i) {
        if (m_data[i] == from) m_data[i] = to;
    }
}

// Index of the first occurrence of pattern at or after `from`, or -1.
int StringBuffer::find(const char* pattern, int patternLength, int from) const {
    for (int i = from; i + patternLength <= m_length; ++i) {
        const void* hit = std::memchr(m_data + i, pattern[0], static_cast<std::size_t>(m_length - i));
        if (hit == nullptr) return -1;
        i = static_cast<int>(static_cast<const char*>(hit) - m_data);
        if (i + patternLength > m_length) return -1;
        if (std::memcmp(m_data + i, pattern, static_cast<std::size_t>(patternLength)) == 0) return i;
    }
    return -1;
}

// Replaces `removed` characters at `at` by n bytes of replacement. A new block, when needed,
// holds newLength + growth + 1 bytes; the growth step is unchanged.
bool StringBuffer::replaceSpan(int at, int removed, const char* replacement, int n) {
    SafeArg arg(replacement, n, m_data, m_data + m_capacity);
    if (n > 0 && arg.get() == nullptr) return false;
    std::int64_t newLength = static_cast<std::int64_t>(m_length) - removed + n;
    if (newLength + 1 > m_capacity && !reallocate(newLength + m_growth + 1, nullptr, 0)) return false;
    char* tail = m_data + at + removed;
    std::memmove(m_data + at + n, tail, static_cast<std::size_t>(m_length - at - removed));
    if (n > 0) std::memcpy(m_data + at, arg.get(), static_cast<std::size_t>(n));
    setLength(static_cast<int>(newLength));
    return true;
}

bool StringBuffer::replaceFirst(const char* pattern, const char* replacement) {
    check();
    if (pattern == nullptr || *pattern == 0) return false;
    int patternLength = textLength(pattern);
    int at = patternLength < 0 ? -1 : find(pattern, patternLength, 0);
    if (at < 0) return false;
    int n = replacement == nullptr ? 0 : textLength(replacement);
    return n >= 0 && replaceSpan(at, patternLength, replacement, n);
}

int StringBuffer::replaceAll(const char* pattern, const char* replacement) {
    check();
    if (pattern == nullptr || *pattern == 0) return 0;
    int patternLength = textLength(pattern);
    int n = replacement == nullptr ? 0 : textLength(replacement);
    if (patternLength < 0 || n < 0) return 0;
    SafeArg pat(pattern, patternLength, m_data, m_data + m_capacity);
    SafeArg rep(replacement, n, m_data, m_data + m_capacity);
    if (pat.get() == nullptr || (n > 0 && rep.get() == nullptr)) return 0;
    // Build the result aside, then install it: inserted text is never scanned again.
    StringBuffer result(m_length + 1, true);
    int count = 0;
    int done = 0;
    for (int at = find(pat.get(), patternLength, 0); at >= 0; at = find(pat.get(), patternLength, done)) {
        if (!result.appendBytes(m_data + done, at - done) || !result.appendBytes(rep.get(), n)) return 0;
        done = at + patternLength;
        ++count;
    }
    if (count == 0 || !result.appendBytes(m_data + done, m_length - done)) return 0;
    if (!isStatic()) std::free(m_data);
    m_data = result.m_data;
    m_capacity = result.m_capacity;
    m_length = result.m_length;
    result.m_data = staticEmpty();
    result.m_length = 0;
    return count;
}

void StringBuffer::removeWildcardChars() {
    check();
    int kept = 0;
    for (int i = 0; i < m_length; ++i) {
        char c = m_data[i];
        if (c != '<' && c != '>' && c != '*' && c != '?' && c != '|') m_data[kept++] = c;
    }
    if (kept != m_length) setLength(kept);
}

void StringBuffer::removeControlChars() {
    check();
    int kept = 0;
    for (int i = 0; i < m_length; ++i) {
        const auto c = static_cast<unsigned char>(m_data[i]);
        if (c == 0 || (c >= 0x20 && c != 0x7F)) m_data[kept++] = m_data[i];
    }
    if (kept != m_length) setLength(kept);
}

void StringBuffer::keepFileName() {
    check();
    int slash = m_length - 1;
    while (slash >= 0 && m_data[slash] != '/' && m_data[slash] != '\\') --slash;
    if (slash < 0) return;
    int n = m_length - slash - 1;
    std::memmove(m_data, m_data + slash + 1, static_cast<std::size_t>(n));
    setLength(n);
}

void StringBuffer::toLowerLatin() {
    check();
    for (int i = 0; i < m_length && m_data[i] != 0; ++i) {
        auto c = static_cast<unsigned char>(m_data[i]);
        if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDF)) m_data[i] = static_cast<char>(c + 0x20);
    }
}

void StringBuffer::escapeXml() {
    check();
    replaceAll("&", "&amp;");  // first, so the entities below keep their '&'
    replaceAll("<", "&lt;");
    replaceAll(">", "&gt;");
    replaceAll("\"", "&quot;");
}

// Two upper-case digits per byte, a space after every second byte, a line feed after every
// sixteenth.
bool StringBuffer::appendHex(const void* bytes, int n) {
    check();
    if (bytes == nullptr || n <= 0) return true;
    static const char kDigits[] = "0123456789ABCDEF";
    const auto* in = static_cast<const std::uint8_t*>(bytes);
    char line[16 * 2 + 8 + 1];
    int used = 0;
    for (int i = 0; i < n; ++i) {
        line[used++] = kDigits[in[i] >> 4];
        line[used++] = kDigits[in[i] & 15];
        if ((i + 1) % 2 == 0) line[used++] = ' ';
        if ((i + 1) % 16 == 0) line[used++] = '\n';
        if (used + 4 > static_cast<int>(sizeof line) || i + 1 == n) {
            if (!appendBytes(line, used)) return false;
            used = 0;
        }
    }
    return true;
}

bool StringBuffer::appendSystemMessage(int errorCode) {
    check();
    bool ok = append(platformErrorText(errorCode).c_str());
    trim();
    return ok;
}

bool StringBuffer::appendLastError() { return appendSystemMessage(platformLastErrno()); }

bool StringBuffer::convertCodePage(int fromCodePage, int toCodePage) {
    check();
    if (fromCodePage == toCodePage) return true;
    bool asciiTarget = toCodePage == 1252 || toCodePage == 28591 || toCodePage == 65001;
    if (fromCodePage == 437 && asciiTarget && isSevenBit()) return true;
    // The content is replaced whatever the converter reports: an unsupported page leaves the
    // buffer empty, which is how callers detect it.
    DataBuffer converted;
    bool ok = EncodingConvert().convert(fromCodePage, toCodePage, m_data, static_cast<std::uint32_t>(m_length),
                                        converted);
    converted.appendByte(0);
    if (!takeData(converted)) clear();
    return ok;
}

int StringBuffer::length() const {
    check();
    return m_length;
}

const char* StringBuffer::text() const {
    check();
    return m_data;
}

char StringBuffer::lastChar() const {
    check();
    return m_length > 0 ? m_data[m_length - 1] : 0;
}

char StringBuffer::charAt(int i) const {
    check();
    return i >= 0 && i < m_length ? m_data[i] : 0;
}

bool StringBuffer::containsChar(char c) const {
    check();
    return std::memchr(m_data, c, static_cast<std::size_t>(m_length)) != nullptr;
}

bool StringBuffer::beginsWith(const char* prefix) const {
    check();
    if (prefix == nullptr) return false;
    std::size_t n = std::strlen(prefix);
    return n <= static_cast<std::size_t>(m_length) && std::memcmp(m_data, prefix, n) == 0;
}

bool StringBuffer::endsWith(const char* suffix) const {
    check();
    if (suffix == nullptr) return false;
    std::size_t n = std::strlen(suffix);
    return n <= static_cast<std::size_t>(m_length) && std::memcmp(m_data + m_length - n, suffix, n) == 0;
}

bool StringBuffer::equals(const char* text) const {
    check();
    if (text == nullptr) return m_length == 0;
    std::size_t n = std::strlen(text);
    return n == static_cast<std::size_t>(m_length) && std::memcmp(m_data, text, n) == 0;
}

bool StringBuffer::equalsBuffer(const StringBuffer& other) const {
    check();
    other.check();
    return m_length == other.m_length && std::memcmp(m_data, other.m_data, static_cast<std::size_t>(m_length)) == 0;
}

bool StringBuffer::isSevenBit(int n) const {
    check();
    int end = n <= 0 || n > m_length ? m_length : n;
    for (int i = 0; i < end; ++i) {
        if (static_cast<unsigned char>(m_data[i]) >= 0x80) return false;
    }
    return true;
}

int StringBuffer::capacity() const {
    check();
    return m_capacity;
}

int StringBuffer::growth() const {
    check();
    return m_growth;
}

std::uint8_t StringBuffer::tag() const {
    check();
    return m_tag;
}

void StringBuffer::setTag(std::uint8_t tag) {
    check();
    m_tag = tag <= 2 ? tag : 0;
}
