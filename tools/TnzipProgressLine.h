// The progress line of tnzip x on a terminal: percentage, bytes done of the total, rate, time
// left and the current entry's name cut to the terminal's width; redrawn at most ten times a
// second, and cleared at the end so that only messages stay.
#pragma once
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

class ProgressLine {
public:
    // Draws on `out` (a terminal); total is the bytes the extraction will write.
    ProgressLine(std::FILE* out, std::uint64_t total);

    void setName(const std::string& name) { m_name = name; }
    void update(int percent);
    // Removes the line, if one was drawn.
    void clear();

private:
    void draw(int percent);

    std::FILE* m_out;
    std::uint64_t m_total;
    std::string m_name;
    std::chrono::steady_clock::time_point m_start, m_last;
    bool m_drawn = false;
    int m_width = 0;
};

namespace tnzip {
// "1.5 MB", "980 kB", "12 B": three significant figures at most, decimal units.
std::string byteText(double bytes);
}  // namespace tnzip
