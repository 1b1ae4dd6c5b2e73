#include "TnzipProgressLine.h"

#ifdef _WIN32
#include <windows.h>
#include <io.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

// Columns of the terminal behind out; 80 when it does not say.
int terminalWidth(std::FILE* out) {
#ifdef _WIN32
    CONSOLE_SCREEN_BUFFER_INFO info;
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(out)));
    if (GetConsoleScreenBufferInfo(h, &info)) return info.srWindow.Right - info.srWindow.Left + 1;
#else
    winsize size{};
    if (ioctl(fileno(out), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
#endif
    return 80;
}

std::string timeText(double seconds) {
    if (seconds < 0 || seconds > 99 * 3600) return "--:--";
    const long s = long(seconds + 0.5);
    char text[32];
    if (s >= 3600) std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else std::snprintf(text, sizeof text, "%02ld:%02ld", s / 60, s % 60);
    return text;
}

// The last `columns` characters' worth of name (its end says most), counting UTF-8 sequences as
// one column each.
std::string fitName(const std::string& name, int columns) {
    if (columns <= 3) return "";
    int count = 0;
    for (unsigned char c : name) count += (c & 0xC0) != 0x80;
    if (count <= columns) return name;
    std::size_t at = 0;
    for (int skip = count - columns + 3; at < name.size(); ++at)
        if ((static_cast<unsigned char>(name[at]) & 0xC0) != 0x80 && skip-- == 0) break;
    return "..." + name.substr(at);
}

}  // namespace

namespace tnzip {

std::string byteText(double bytes) {
    static const char* const kUnits[] = {"B", "kB", "MB", "GB", "TB"};
    int unit = 0;
    while (bytes >= 999.5 && unit < 4) bytes /= 1000, ++unit;
    char text[32];
    if (unit == 0 || bytes >= 99.95) std::snprintf(text, sizeof text, "%.0f %s", bytes, kUnits[unit]);
    else if (bytes >= 9.995) std::snprintf(text, sizeof text, "%.1f %s", bytes, kUnits[unit]);
    else std::snprintf(text, sizeof text, "%.2f %s", bytes, kUnits[unit]);
    return text;
}

}  // namespace tnzip

ProgressLine::ProgressLine(std::FILE* out, std::uint64_t total)
    : m_out(out), m_total(total), m_start(std::chrono::steady_clock::now()), m_last(m_start) {}

void ProgressLine::update(int percent) {
    const auto now = std::chrono::steady_clock::now();
    if (m_drawn && percent < 100 && now - m_last < kRedrawInterval) return;
    m_last = now;
    draw(percent);
}

void ProgressLine::draw(int percent) {
    if (percent < 0) percent = 0;
    if (percent > 100) percent = 100;
    const double done = double(m_total) * percent / 100;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    const double rate = seconds > 0 ? done / seconds : 0;
    const std::string left = rate > 0 ? timeText((double(m_total) - done) / rate) : "--:--";
    char head[160];
    std::snprintf(head, sizeof head, "%3d%%  %s / %s  %s/s  %s left  ", percent, tnzip::byteText(done).c_str(),
                  tnzip::byteText(double(m_total)).c_str(), tnzip::byteText(rate).c_str(), left.c_str());
    m_width = terminalWidth(m_out);
    // One column short of the width: a full line would wrap on some terminals.
    std::string line = head;
    line += fitName(m_name, m_width - 1 - int(line.size()));
    if (int(line.size()) > m_width - 1) line.resize(std::size_t(m_width > 1 ? m_width - 1 : 0));
    line.resize(std::size_t(m_width > 1 ? m_width - 1 : 0), ' ');  // covers the longer line before
    std::fprintf(m_out, "\r%s", line.c_str());
    std::fflush(m_out);
    m_drawn = true;
}

void ProgressLine::clear() {
    if (!m_drawn) return;
    std::fprintf(m_out, "\r%*s\r", m_width > 1 ? m_width - 1 : 0, "");
    std::fflush(m_out);
    m_drawn = false;
}
