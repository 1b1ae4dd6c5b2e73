// ISO-2022-JP: ASCII and JIS X 0208 runs switched by escape sequences. The NEC-selected IBM
// extension rows 0x79 to 0x7C map to Shift-JIS through a compiled-in table, not arithmetic.
#include "base/Japanese.h"

#include <array>
#include <cstdlib>

#include "base/CodePageTableText.h"
#include "base/ContentCoding.h"
#include "base/ConvertOutput.h"
#include "base/LittleEndian.h"

namespace {

constexpr std::uint8_t kEsc = 0x1B;
constexpr int kIbmRowFirst = 0x79;
constexpr int kIbmCells = 94;
constexpr int kIbmCodes = 4 * kIbmCells;

// The 376 Shift-JIS codes of JIS rows 0x79-0x7C, decoded once (thread-safe static init).
const std::array<std::uint16_t, kIbmCodes>& ibmRows() {
    static const std::array<std::uint16_t, kIbmCodes> rows = [] {
        std::array<std::uint16_t, kIbmCodes> codes{};
        std::uint32_t length = 0;
        std::uint8_t* bytes = ContentCoding().decodeBase64(CodePageTableText::jisIbmRows(), length);
        for (std::uint32_t i = 0; bytes != nullptr && i < kIbmCodes && 2 * i + 1 < length; ++i) {
            codes[i] = loadLe16(bytes + 2 * i);
        }
        std::free(bytes);
        return codes;
    }();
    return rows;
}

bool isLead(std::uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xEF); }
bool isTrail(std::uint8_t b) { return b >= 0x40 && b <= 0xFC; }

// Writes and tracks the escapes around two-byte runs.
class JisWriter {
public:
    explicit JisWriter(ConvertOutput& out) : m_out(out) {}
    void twoByte(std::uint16_t jis) {
        if (!m_twoByte) escape('$', 'B');
        m_twoByte = true;
        m_out.put(static_cast<std::uint8_t>(jis >> 8));
        m_out.put(static_cast<std::uint8_t>(jis));
    }
    void single(std::uint8_t b) {
        close();
        m_out.put(b);
    }
    void close() {
        if (m_twoByte) escape('(', 'B');
        m_twoByte = false;
    }

private:
    void escape(std::uint8_t a, std::uint8_t b) {
        m_out.put(kEsc);
        m_out.put(a);
        m_out.put(b);
    }
    ConvertOutput& m_out;
    bool m_twoByte = false;
};

// Full-width Shift-JIS code of the half-width kana at in[0], absorbing a following voiced or
// semi-voiced mark; sets used to the bytes consumed.
std::uint16_t fullWidthKana(const std::uint8_t* in, std::uint32_t left, std::uint32_t& used) {
    std::uint8_t b = in[0];
    std::uint16_t full = CodePageTableText::kHalfWidthKana[b - 0xA1];
    std::uint8_t mark = left >= 2 ? in[1] : 0;
    used = 2;
    if (mark == 0xDE && ((b >= 0xB6 && b <= 0xC4) || (b >= 0xCA && b <= 0xCE))) return full + 1;
    if (mark == 0xDE && b == 0xB3) return 0x8394;  // vu
    if (mark == 0xDF && b >= 0xCA && b <= 0xCE) return full + 2;
    used = 1;
    return full;
}

// JIS position of an IBM extension code in the NEC-selected rows, or 0.
std::uint16_t jisOfIbm(std::uint16_t sjis) {
    const auto& rows = ibmRows();
    for (int i = 0; i < kIbmCodes; ++i) {
        if (rows[i] == sjis)
            return static_cast<std::uint16_t>(((kIbmRowFirst + i / kIbmCells) << 8) | (0x21 + i % kIbmCells));
    }
    return 0;
}

// Returns the bytes consumed from an escape sequence at in[0] and updates the mode:
// 0 single-byte, 1 two-byte, 2 half-width katakana. Unknown sequences are skipped whole.
std::uint32_t readEscape(const std::uint8_t* in, std::uint32_t left, int& mode) {
    if (left >= 3 && in[1] == '$' && (in[2] == '@' || in[2] == 'B')) return mode = 1, 3;
    if (left >= 3 && in[1] == '(' && (in[2] == 'B' || in[2] == 'J')) return mode = 0, 3;
    if (left >= 3 && in[1] == '(' && in[2] == 'I') return mode = 2, 3;
    std::uint32_t i = 1;
    while (i < left && in[i] >= 0x20 && in[i] <= 0x2F) ++i;  // intermediate bytes
    return i < left && in[i] >= 0x30 && in[i] <= 0x7E ? i + 1 : i;
}

}  // namespace

std::uint16_t Japanese::sjisFromJis(std::uint8_t row, std::uint8_t cell) {
    int lead = ((row + 1) >> 1) + (row <= 0x5E ? 0x70 : 0xB0);
    int trail = cell + ((row & 1) ? (cell >= 0x60 ? 0x20 : 0x1F) : 0x7E);
    return static_cast<std::uint16_t>(((lead & 0xFF) << 8) | (trail & 0xFF));
}

std::uint16_t Japanese::jisFromSjis(std::uint8_t lead, std::uint8_t trail) {
    int row = (lead - (lead <= 0x9F ? 0x70 : 0xB0)) * 2;
    int cell = trail;
    if (trail >= 0x9F) {
        cell -= 0x7E;
    } else {
        row -= 1;
        cell -= trail >= 0x80 ? 0x20 : 0x1F;
    }
    return static_cast<std::uint16_t>(((row & 0xFF) << 8) | (cell & 0xFF));
}

void Japanese::encode(const std::uint8_t* in, std::uint32_t n, ConvertOutput& out) {
    JisWriter writer(out);
    std::uint32_t i = 0;
    while (i < n) {
        std::uint8_t b = in[i];
        std::uint8_t next = i + 1 < n ? in[i + 1] : 0;
        std::uint32_t used = 1;
        std::uint16_t jis = 0;
        if (b >= 0xA1 && b <= 0xDF) {
            std::uint16_t full = fullWidthKana(in + i, n - i, used);
            jis = jisFromSjis(static_cast<std::uint8_t>(full >> 8), static_cast<std::uint8_t>(full));
        } else if (i + 1 < n && isLead(b)) {
            used = 2;  // an invalid trail byte goes out unchanged with its lead
            if (isTrail(next)) jis = jisFromSjis(b, next);
        } else if (i + 1 < n && b >= 0xFA && b <= 0xFC) {
            jis = jisOfIbm(static_cast<std::uint16_t>((b << 8) | next));
            used = 2;
        }
        if (jis != 0) {
            writer.twoByte(jis);
        } else {
            for (std::uint32_t k = 0; k < used; ++k) writer.single(in[i + k]);
        }
        i += used;
    }
    writer.close();
}

void Japanese::decode(const std::uint8_t* in, std::uint32_t n, ConvertOutput& out) {
    int mode = 0;
    std::uint32_t i = 0;
    while (i < n) {
        std::uint8_t b = in[i];
        if (b == kEsc) {
            i += readEscape(in + i, n - i, mode);
            continue;
        }
        if (b == '\r' || b == '\n') mode = 0;
        if (mode == 2) {
            out.put(static_cast<std::uint8_t>(b + 0x80));
        } else if (mode == 0) {
            out.put(b);
        } else if (i + 1 < n && in[i + 1] != kEsc && in[i + 1] != '\r' && in[i + 1] != '\n') {
            std::uint8_t cell = in[++i];
            int index = (b - kIbmRowFirst) * kIbmCells + (cell - 0x21);
            bool ibm = b >= kIbmRowFirst && b < kIbmRowFirst + 4 && cell >= 0x21 && cell <= 0x7E &&
                       ibmRows()[index] != 0;
            std::uint16_t sjis = ibm ? ibmRows()[index] : sjisFromJis(b, cell);
            out.put(static_cast<std::uint8_t>(sjis >> 8));
            out.put(static_cast<std::uint8_t>(sjis));
        }
        ++i;
    }
}
