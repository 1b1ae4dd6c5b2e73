// Makes a publication: the launcher stub followed by a ZIP archive of a folder that holds the
// viewer "offline.exe" at its root. Every failure comes back as a message for the user.
#pragma once
#include <string>

class PublicationPacker {
public:
    struct Options {
        std::string folder;
        std::string output;
        std::string stub;
        int level = -1;  // 0 stores; 1..9 deflate at that level; -1 deflates at the default
    };

    static bool pack(const Options& options, std::string& error);

private:
    static bool checkFolder(const std::string& folder, std::string& error);
    static bool zipFolder(const Options& options, const std::string& zipPath, std::string& error);
    static bool writeOutput(const std::string& stub, const std::string& zipPath, const std::string& partial,
                            const std::string& output, std::string& error);
};
