// Makes a publication: the launcher stub followed by a ZIP archive of a folder that holds the
// viewer "offline.exe" at its root, with the archive's length and SHA-256 stamped into the
// stub. The same folder always packs to the same bytes: names in byte order, every entry's time
// taken from the file (capped by SOURCE_DATE_EPOCH when that is set), nothing of the time of
// packing. Every failure comes back as a message for the user.
#pragma once
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

class PublicationPacker {
public:
    struct Options {
        std::string folder;
        std::string output;
        std::string stub;
        int level = -1;  // 0 stores; 1..9 deflate at that level; -1 deflates at the default
        // No entry is stored with a later time; -1 for none.
        std::int64_t latestTime = -1;
    };

    struct Summary {
        // bytesOut is the archive after the stub; publication the whole output.
        std::uint64_t files = 0, folders = 0, bytesIn = 0, bytesOut = 0, publication = 0;
    };

    static bool pack(const Options& options, Summary& summary, std::string& error);

    // The folder's content to store: '/'-separated names, folders ending in '/', in byte order.
    struct Item {
        std::string name;
        bool folder = false;
        std::uint32_t mode = 0;
        std::time_t mtime = 0;
        std::uint64_t size = 0;
    };
    static bool listFolder(const Options& options, std::vector<Item>& items, std::string& error);

    // Where a packer that is interrupted must leave nothing: the work folder being written.
    // Removes it, as far as it exists.
    static void removeWork();

private:
    static bool checkPaths(const Options& options, std::string& error);
    static bool zipFolder(const Options& options, const std::vector<Item>& items, const std::string& zipPath,
                          std::string& error);
    static bool writeOutput(std::string stub, const std::string& zipPath, const std::string& partial,
                            const std::string& output, std::uint64_t& written, std::string& error);
};
