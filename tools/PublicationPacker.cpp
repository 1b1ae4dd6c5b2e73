// quillet-pack's work: check the folder and the stub, zip the folder with libzip (deflate,
// ZIP64 where the sizes need it), then write stub + archive and mark the result executable.
#include "tools/PublicationPacker.h"

#include <zip.h>

#include <algorithm>
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
    if (zip_set_file_compression(zip, zip_uint64_t(index), method, zip_uint32_t(level < 0 ? 0 : level)) == 0) return true;
    return error = "cannot compress " + entry.first + ": " + zip_strerror(zip), false;
}

bool appendFile(std::ofstream& out, const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    out << in.rdbuf();
    return in && out;
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

bool PublicationPacker::writeOutput(const std::string& stub, const std::string& zipPath, const std::string& output,
                                    std::string& error) {
    const std::string partial = output + ".part";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out.write(stub.data(), std::streamsize(stub.size()));
        if (!out || !appendFile(out, zipPath)) {
            fs::remove(partial);
            return error = "cannot write " + output, false;
        }
    }
    std::error_code ec;
    fs::permissions(partial, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                    fs::perm_options::add, ec);
    if (!ec) fs::rename(partial, output, ec);
    if (ec) fs::remove(partial);
    return ec ? (error = "cannot write " + output + ": " + ec.message(), false) : true;
}

bool PublicationPacker::pack(const Options& options, std::string& error) {
    std::string stub;
    if (!checkFolder(options.folder, error)) return false;
    if (!StubStamp::readFile(options.stub, stub, error)) return false;
    if (!StubStamp::check(stub, error)) return error = "stub " + options.stub + ": " + error, false;
    const std::string zipPath = options.output + ".zip.part";
    bool ok = zipFolder(options, zipPath, error) && writeOutput(stub, zipPath, options.output, error);
    std::error_code ec;
    fs::remove(zipPath, ec);
    return ok;
}
