// quillet-pack's work: check the folder, the output's place and the stub, zip the folder with
// libzip (deflate, ZIP64 where the sizes need it), then write the stub, stamped with the
// archive's length and digest, followed by the archive, and mark the result executable. Both are
// written in a new private folder beside the output, under names nobody else can reach, and the
// finished publication is renamed into place.
#include "tools/PublicationPacker.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "base/FilePaths.h"
#include "crypto/Sha256.h"
#include "tools/StubStamp.h"

namespace fs = std::filesystem;

namespace {

// The work folder of the running pack, for removeWork.
std::mutex g_workLock;
std::string g_work;

std::string shown(const fs::path& path) { return escapeControlChars(path.string()); }

std::string systemReason(int error) { return std::strerror(error); }

bool statItem(const fs::path& path, const std::string& name, PublicationPacker::Item& item, std::string& error) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return error = "cannot read " + shown(path) + ": " + systemReason(errno), false;
    item.folder = S_ISDIR(st.st_mode);
    if (!item.folder && !S_ISREG(st.st_mode))
        return error = "cannot pack " + shown(path) + ": not a regular file or folder", false;
    item.name = item.folder ? name + "/" : name;
    item.mode = std::uint32_t(st.st_mode);
    item.mtime = st.st_mtime;
    item.size = item.folder ? 0 : std::uint64_t(st.st_size);
    // Found out now, with the file's name, rather than as a bare reason while the archive is written.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | (item.folder ? O_DIRECTORY : 0));
    if (fd < 0) return error = "cannot read " + shown(path) + ": " + systemReason(errno), false;
    ::close(fd);
    return true;
}

zip_int64_t addItem(zip_t* zip, const fs::path& root, const PublicationPacker::Item& item) {
    // Names are stored as their bytes; the UTF-8 flag is set only for names that are UTF-8.
    if (item.folder) return zip_dir_add(zip, item.name.c_str(), ZIP_FL_ENC_GUESS);
    zip_source_t* source = zip_source_file(zip, (root / item.name).c_str(), 0, -1);
    zip_int64_t index = source ? zip_file_add(zip, item.name.c_str(), source, ZIP_FL_ENC_GUESS) : -1;
    if (index < 0 && source) zip_source_free(source);
    return index;
}

bool describeItem(zip_t* zip, zip_uint64_t index, const PublicationPacker::Item& item,
                  const PublicationPacker::Options& options) {
    std::time_t when = item.mtime;
    if (options.latestTime >= 0 && when > options.latestTime) when = std::time_t(options.latestTime);
    // Unix mode (type and permissions) in the high half, the DOS folder bit in the low.
    const zip_uint32_t attributes = (zip_uint32_t(item.mode & 0xFFFF) << 16) | (item.folder ? 0x10 : 0);
    if (zip_file_set_mtime(zip, index, when, 0) != 0) return false;
    if (zip_file_set_external_attributes(zip, index, 0, ZIP_OPSYS_UNIX, attributes) != 0) return false;
    if (item.folder) return true;
    zip_int32_t method = options.level == 0 ? ZIP_CM_STORE : ZIP_CM_DEFLATE;
    return zip_set_file_compression(zip, index, method, zip_uint32_t(options.level < 0 ? 0 : options.level)) == 0;
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t put = ::write(fd, data, size);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        data += put;
        size -= std::size_t(put);
    }
    return true;
}

// Calls use(block, size) for each block of the file; false when it cannot be read to its end.
template <typename Use>
bool readBlocks(const std::string& path, Use use) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> buffer(1 << 16);
    while (in) {
        in.read(buffer.data(), std::streamsize(buffer.size()));
        if (in.gcount() > 0 && !use(buffer.data(), std::size_t(in.gcount()))) return false;
    }
    return in.eof();
}

// A new folder beside the output, private to this user, under a name nobody can tell in
// advance; empty when none can be made.
std::string makeWorkFolder(const std::string& output) {
    fs::path out(output);
    fs::path parent = out.parent_path().empty() ? fs::path(".") : out.parent_path();
    std::string pattern = (parent / ("." + out.filename().string() + ".XXXXXX")).string();
    // Held across the creation: an interrupt between mkdtemp and the assignment would otherwise
    // find no work folder to remove and leave it behind.
    std::lock_guard<std::mutex> hold(g_workLock);
    if (!mkdtemp(pattern.data())) return std::string();
    return g_work = pattern;
}

// True when path is base or lies below it (both made absolute, links resolved where they exist).
bool within(const fs::path& path, const fs::path& base) {
    std::error_code ec;
    fs::path p = fs::weakly_canonical(fs::absolute(path, ec), ec), b = fs::weakly_canonical(fs::absolute(base, ec), ec);
    auto [atBase, atPath] = std::mismatch(b.begin(), b.end(), p.begin(), p.end());
    (void)atPath;
    // A trailing '/' leaves an empty last element.
    return atBase == b.end() || (std::next(atBase) == b.end() && atBase->empty());
}

}  // namespace

bool PublicationPacker::checkPaths(const Options& options, std::string& error) {
    std::error_code ec;
    const std::string& folder = options.folder;
    if (!fs::is_directory(folder, ec)) return error = shown(folder) + " is not a folder", false;
    if (!fs::is_regular_file(fs::path(folder) / "offline.exe", ec))
        return error = shown(folder) + " holds no offline.exe at its root: a publication needs its viewer", false;
    // Inside the folder, the output (or its work folder) would be packed into itself.
    if (within(options.output, folder))
        return error = "the output " + shown(options.output) +
                       " lies inside the folder being packed; write it elsewhere",
               false;
    if (fs::equivalent(options.output, options.stub, ec))
        return error = "the output " + shown(options.output) + " would overwrite the stub", false;
    return true;
}

bool PublicationPacker::listFolder(const Options& options, std::vector<Item>& items, std::string& error) {
    const fs::path root(options.folder);
    std::error_code ec;
    fs::path last = root;
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        last = it->path();
        Item item;
        if (!statItem(last, fs::relative(last, root, ec).generic_string(), item, error)) return false;
        items.push_back(item);
    }
    if (ec) return error = "cannot read " + shown(last) + ": " + ec.message(), false;
    // Byte order, so that the same folder always gives the same archive; a folder still comes
    // before what it holds.
    std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.name < b.name; });
    return true;
}

bool PublicationPacker::zipFolder(const Options& options, const std::vector<Item>& items, const std::string& zipPath,
                                  std::string& error) {
    int zipError = 0;
    zip_t* zip = zip_open(zipPath.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &zipError);
    if (!zip) return error = "cannot create " + shown(zipPath), false;
    for (const Item& item : items) {
        zip_int64_t index = addItem(zip, options.folder, item);
        if (index >= 0 && describeItem(zip, zip_uint64_t(index), item, options)) continue;
        error = "cannot add " + shown(item.name) + ": " + zip_strerror(zip);
        zip_discard(zip);
        return false;
    }
    if (zip_close(zip) == 0) return true;
    error = std::string("cannot write the archive: ") + zip_strerror(zip);
    zip_discard(zip);
    return false;
}

bool PublicationPacker::writeOutput(std::string stub, const std::string& zipPath, const std::string& partial,
                                    const std::string& output, std::uint64_t& written, std::string& error) {
    Sha256 hash;
    std::uint64_t length = 0;
    std::uint8_t digest[Sha256::kSize];
    bool hashed = hash.ready() && readBlocks(zipPath, [&](const char* data, std::size_t size) {
                      hash.update(data, size);
                      length += size;
                      return true;
                  });
    if (!hashed || !hash.finish(digest)) return error = "cannot read back the archive to hash it", false;
    if (!StubStamp::stampPayload(stub, length, digest, error)) return false;
    // Executable as the umask allows, like any program a build writes.
    int out = ::open(partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0777);
    if (out < 0) return error = "cannot write " + shown(output) + ": " + systemReason(errno), false;
    bool ok = writeAll(out, stub.data(), stub.size()) &&
              readBlocks(zipPath, [out](const char* data, std::size_t size) { return writeAll(out, data, size); });
    int writeError = errno;
    ok = ::close(out) == 0 && ok;
    if (!ok) return error = "cannot write " + shown(output) + ": " + systemReason(writeError), false;
    std::error_code ec;
    fs::rename(partial, output, ec);
    if (ec) return error = "cannot write " + shown(output) + ": " + ec.message(), false;
    written = length;
    return true;
}

bool PublicationPacker::pack(const Options& options, Summary& summary, std::string& error) {
    std::string stub;
    std::vector<Item> items;
    if (!checkPaths(options, error) || !listFolder(options, items, error)) return false;
    if (!StubStamp::readFile(options.stub, stub, error)) return false;
    if (!StubStamp::check(stub, error)) return error = "stub " + shown(options.stub) + ": " + error, false;
    const std::string work = makeWorkFolder(options.output);
    if (work.empty())
        return error = "cannot create a work folder beside " + shown(options.output) + ": " + systemReason(errno),
               false;
    const std::string zipPath = work + "/publication.zip";
    const std::string partial = work + "/" + fs::path(options.output).filename().string();
    bool ok = zipFolder(options, items, zipPath, error) &&
              writeOutput(stub, zipPath, partial, options.output, summary.bytesOut, error);
    removeWork();
    summary.publication = ok ? summary.bytesOut + stub.size() : 0;
    for (const Item& item : items) {
        ++(item.folder ? summary.folders : summary.files);
        summary.bytesIn += item.size;
    }
    return ok;
}

void PublicationPacker::removeWork() {
    std::lock_guard<std::mutex> hold(g_workLock);
    if (g_work.empty()) return;
    // Called from the interrupt watcher while the archive may still be written there: what the
    // writer creates between the listing and the folder's removal is caught by another round.
    std::error_code ec;
    for (int round = 0; round < 8 && fs::exists(fs::symlink_status(g_work, ec)); ++round) fs::remove_all(g_work, ec);
    g_work.clear();
}
