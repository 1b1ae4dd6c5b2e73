// The publication's archive read in place, for the launcher's own options and for telling a
// damaged archive from a failed write: its entries listed, or every entry decoded and checked
// against its CRC without writing anything.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class ZipDn;

class PublicationArchive {
public:
    struct Entry {
        std::string name;  // '/'-separated, control characters escaped
        std::uint64_t size = 0, packed = 0;
        bool directory = false;
    };

    PublicationArchive();
    ~PublicationArchive();
    PublicationArchive(const PublicationArchive&) = delete;
    PublicationArchive& operator=(const PublicationArchive&) = delete;

    // Opens the archive at path (which may have a program in front of it). False when it cannot
    // be read as an archive.
    bool open(const std::string& path);
    void forEachEntry(const std::function<void(const Entry&)>& visit);
    // Decodes every entry; true when each matched its CRC. The names of those that did not are
    // added to failed.
    bool testEntries(std::vector<std::string>& failed);

private:
    ZipDn* m_dn;
    bool m_open = false;
};
