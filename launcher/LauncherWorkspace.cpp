// The launcher's temporary archive and extraction folder, held by handle.
#include "launcher/LauncherWorkspace.h"

#include "base/PlatformFiles.h"
#include "launcher/LauncherNames.h"

namespace {

// A name is taken again only by a collision of random suffixes or by someone who can read our
// names as they appear; either way a few more tries are plenty, and the bound ends a loop that
// something unforeseen keeps failing.
constexpr int kAttempts = 64;

const char* const kViewer = "offline.exe";

constexpr int kRemovalAttempts = 40;
constexpr unsigned kRemovalPauseMs = 50;

}  // namespace

LauncherWorkspace::LauncherWorkspace() : m_names(launcherUniqueName) {}

LauncherWorkspace::~LauncherWorkspace() {
    if (m_archive >= 0) platformCloseFile(m_archive);
    platformCloseFolder(m_folder);
    platformCloseFolder(m_dir);
}

bool LauncherWorkspace::open(const std::string& directory) {
    m_directory = directory;
    m_dir = platformOpenFolder(directory.c_str());
    return m_dir != kNoFolder;
}

template <typename Create>
bool LauncherWorkspace::createUnique(const std::string& stamp, const char* extension, std::string& name,
                                     Create create) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        std::string candidate = m_names(stamp);
        if (candidate.empty()) return false;
        candidate += extension;
        bool exists = false;
        if (create(candidate, exists)) return name = candidate, true;
        if (!exists) return false;
    }
    return false;
}

bool LauncherWorkspace::createArchive(const std::string& stamp) {
    return createUnique(stamp, ".zip", m_archiveName, [this](const std::string& name, bool& exists) {
        m_archive = platformCreatePrivateFileIn(m_dir, name.c_str(), exists);
        return m_archive >= 0;
    });
}

bool LauncherWorkspace::createFolder(const std::string& stamp) {
    return createUnique(stamp, "", m_folderName, [this](const std::string& name, bool& exists) {
        m_folder = platformCreatePrivateFolderIn(m_dir, name.c_str(), exists);
        return m_folder != kNoFolder;
    });
}

std::string LauncherWorkspace::archiveAccessPath() const {
    return platformHandlePath(m_archive, launcherJoin(m_directory, m_archiveName));
}

std::string LauncherWorkspace::folderAccessPath() const { return platformHandlePath(m_folder, folderPath()); }

std::string LauncherWorkspace::folderPath() const { return launcherJoin(m_directory, m_folderName); }

bool LauncherWorkspace::folderInPlace() const {
    return m_folder != kNoFolder && platformIsSameEntry(m_dir, m_folderName.c_str(), m_folder);
}

long LauncherWorkspace::startViewer(const std::vector<std::string>& arguments) const {
    if (!prepareViewer()) return -1;
    return platformStartProgramIn(m_folder, kViewer, launcherJoin(folderPath(), kViewer).c_str(), arguments);
}

bool LauncherWorkspace::prepareViewer() const {
    return m_folder != kNoFolder && platformMakeOwnerExecutableIn(m_folder, kViewer);
}

void LauncherWorkspace::removeArchive() {
    if (m_archive < 0) return;
    platformRemoveEntryIfSame(m_dir, m_archiveName.c_str(), m_archive);
    platformCloseFile(m_archive);
    m_archive = -1;
}

void LauncherWorkspace::removeFolder() {
    if (m_folder == kNoFolder) return;
    const bool emptied = platformDeleteFolderContent(m_folder);
    // The viewer worked in the folder, and Windows may report a program's end a moment before
    // it lets go of its working directory: an emptied folder's removal is tried again a while.
    for (int attempt = 0; attempt < (emptied ? kRemovalAttempts : 1); ++attempt) {
        if (platformRemoveEntryIfSame(m_dir, m_folderName.c_str(), m_folder) || !folderInPlace()) break;
        platformSleepMs(kRemovalPauseMs);
    }
    platformCloseFolder(m_folder);
    m_folder = kNoFolder;
}
