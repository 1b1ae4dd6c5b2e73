// quillet-pack's work: check the folder and the stub, zip the folder with libzip (deflate,
// ZIP64 where the sizes need it), then write stub + archive and mark the result executable.
// Both are written in a new private folder beside the output, under names nobody else can
// reach, and the finished publication is renamed into place.
#include "tools/PublicationPacker.h"

#include <fcntl.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "tools/StubStamp.h"

namespace fs = std::filesystem;

namespace {

// Archive names of the folder's content, '/'-separated, directories ending in '/', sorted so
// that a directory comes before what it holds.
bool listFolder(const fs::path& root, std::vector<std::pair<std::string, bool>>& names, std::string& error) {
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        fs::file_status st = it->symlink_status(ec);
        std::string name = fs::relative(it->path(), root, ec).generic_string();
        if (fs::is_directory(st)) names.emplace_back(name + "/", true);
        else if (fs::is_regular_file(st)) names.emplace_back(name, false);
        else return error = "cannot pack " + it->path().string() + ": not a regular file or folder", false;
    }
    if (ec) return error = "cannot read " + root.string() + ": " + ec.message(), false;
    std::sort(names.begin(), names.end());
    return true;
}

bool addEntry(zip_t* zip, const fs::path& root, const std::pair<std::string, bool>& entry, int level,
              std::string& error) {
    if (entry.second) {
        if (zip_dir_add(zip, entry.first.c_str(), ZIP_FL_ENC_UTF_8) >= 0) return true;
        return error = std::string("cannot add ") + entry.first + ": " + zip_strerror(zip), false;
    }
    zip_source_t* source = zip_source_file(zip, (root / entry.first).c_str(), 0, -1);
    zip_int64_t index = source ? zip_file_add(zip, entry.first.c_str(), source, ZIP_FL_ENC_UTF_8) : -1;
    if (index < 0) {
        if (source) zip_source_free(source);
        return error = "cannot add " + entry.first + ": " + zip_strerror(zip), false;
    }
    zip_int32_t method = level == 0 ? ZIP_CM_STORE : ZIP_CM_DEFLATE;
    if (zip_set_file_compression(zip, zip_uint64_t(index), method, zip_uint32_t(level < 0 ? 0 : level)) == 0)
        return true;
    return error = "cannot compress " + entry.first + ": " + zip_strerror(zip), false;
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

bool appendFile(int out, const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> buffer(1 << 16);
    while (in) {
        in.read(buffer.data(), std::streamsize(buffer.size()));
        if (in.gcount() > 0 && !writeAll(out, buffer.data(), std::size_t(in.gcount()))) return false;
    }
    return in.eof();
}

// A new folder beside the output, private to this user, under a name nobody can tell in
// advance; empty when none can be made.
std::string makeWorkFolder(const std::string& output) {
    fs::path out(output);
    fs::path parent = out.parent_path().empty() ? fs::path(".") : out.parent_path();
    std::string pattern = (parent / ("." + out.filename().string() + ".XXXXXX")).string();
    return mkdtemp(pattern.data()) ? pattern : std::string();
}

}  // namespace

bool PublicationPacker::checkFolder(const std::string& folder, std::string& error) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return error = folder + " is not a folder", false;
    if (!fs::is_regular_file(fs::path(folder) / "offline.exe", ec))
        return error = folder + " holds no offline.exe at its root: a publication needs its viewer", false;
    return true;
}

bool PublicationPacker::zipFolder(const Options& options, const std::string& zipPath, std::string& error) {
    std::vector<std::pair<std::string, bool>> names;
    if (!listFolder(options.folder, names, error)) return false;
    int zipError = 0;
    zip_t* zip = zip_open(zipPath.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &zipError);
    if (!zip) return error = "cannot create " + zipPath, false;
    for (const auto& entry : names) {
        if (addEntry(zip, options.folder, entry, options.level, error)) continue;
        zip_discard(zip);
        return false;
    }
    if (zip_close(zip) == 0) return true;
    error = std::string("cannot write the archive: ") + zip_strerror(zip);
    zip_discard(zip);
    return false;
}

bool PublicationPacker::writeOutput(const std::string& stub, const std::string& zipPath, const std::string& partial,
                                    const std::string& output, std::string& error) {
    // Executable as the umask allows, like any program a build writes.
    int out = ::open(partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0777);
    if (out < 0) return error = "cannot write " + output + ": " + std::strerror(errno), false;
    bool ok = writeAll(out, stub.data(), stub.size()) && appendFile(out, zipPath);
    ok = ::close(out) == 0 && ok;
    if (!ok) return error = "cannot write " + output, false;
    std::error_code ec;
    fs::rename(partial, output, ec);
    return ec ? (error = "cannot write " + output + ": " + ec.message(), false) : true;
}

bool PublicationPacker::pack(const Options& options, std::string& error) {
    std::string stub;
    if (!checkFolder(options.folder, error)) return false;
    if (!StubStamp::readFile(options.stub, stub, error)) return false;
    if (!StubStamp::check(stub, error)) return error = "stub " + options.stub + ": " + error, false;
    const std::string work = makeWorkFolder(options.output);
    if (work.empty())
        return error = "cannot create a work folder beside " + options.output + ": " + std::strerror(errno), false;
    const std::string zipPath = work + "/publication.zip";
    const std::string partial = work + "/" + fs::path(options.output).filename().string();
    bool ok = zipFolder(options, zipPath, error) && writeOutput(stub, zipPath, partial, options.output, error);
    std::error_code ec;
    fs::remove_all(work, ec);
    return ok;
}
