// tnzip - : the archive arrives on standard input, but a ZIP archive is read from its end (the
// central directory), so it is first copied into a private temporary file that has no name
// others could find: created unnamed where the system can (O_TMPFILE), otherwise under a random
// name, exclusively, mode 0600, and unlinked at once where /dev/fd can still reach it (else at
// the end).
#pragma once
#include <string>

class StdinSpool {
public:
    StdinSpool() = default;
    StdinSpool(const StdinSpool&) = delete;
    StdinSpool& operator=(const StdinSpool&) = delete;
    ~StdinSpool();

    // Copies standard input; false with `error` set (one line with the system's reason).
    bool fill(std::string& error);
    // The path to open the copy by.
    const std::string& path() const { return m_path; }

private:
    int m_fd = -1;
    std::string m_path;
    std::string m_name;  // set while a named copy exists
};
