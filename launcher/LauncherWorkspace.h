// The launcher's temporary archive and extraction folder, both created under fresh names below
// a held handle on the working directory and reached only through handles from then on: another
// user who moves or replaces either name cannot make the launcher read, extract into, start or
// delete anything that is not its own.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/PlatformShell.h"

class LauncherWorkspace {
public:
    // Gives the suffixed name for a stamp; empty when none can be made.
    using NameSource = std::function<std::string(const std::string& stamp)>;

    LauncherWorkspace();
    // Closes the handles; deletes nothing.
    ~LauncherWorkspace();
    LauncherWorkspace(const LauncherWorkspace&) = delete;
    LauncherWorkspace& operator=(const LauncherWorkspace&) = delete;

    // Replaces the random names, for tests that need to know them in advance.
    void setNameSource(NameSource source) { m_names = std::move(source); }

    bool open(const std::string& directory);
    // Creates "<name>.zip" and the folder "<name>", each under a name of its own that starts
    // with the stamp; a taken name (file, folder or link) is passed over for another.
    bool createArchive(const std::string& stamp);
    bool createFolder(const std::string& stamp);

    // The archive, open for reading and writing.
    int archiveFile() const { return m_archive; }
    // Paths through which the library reaches the held archive and folder themselves.
    std::string archiveAccessPath() const;
    std::string folderAccessPath() const;
    // Where the folder was created.
    std::string folderPath() const;
    const std::string& archiveName() const { return m_archiveName; }
    const std::string& folderName() const { return m_folderName; }

    // True while the folder's name still leads to the held folder.
    bool folderInPlace() const;
    // Starts "offline.exe" from the held folder, made executable for its owner first, with the
    // arguments after its own path. Returns the process id, or -1.
    long startViewer(const std::vector<std::string>& arguments = {}) const;
    // Makes "offline.exe" executable for its owner; false when the held folder holds no regular
    // file of that name.
    bool prepareViewer() const;

    // Closes and deletes the archive (its name only while it is still the archive).
    void removeArchive();
    // Empties the held folder and removes its name while it still leads there; closes it.
    void removeFolder();

private:
    template <typename Create>
    bool createUnique(const std::string& stamp, const char* extension, std::string& name, Create create);

    NameSource m_names;
    std::string m_directory;
    PlatformFolder m_dir = kNoFolder;
    PlatformFolder m_folder = kNoFolder;
    int m_archive = -1;
    std::string m_archiveName, m_folderName;
};
