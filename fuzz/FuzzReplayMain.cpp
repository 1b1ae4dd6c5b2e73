// Replays saved inputs through a fuzz target without libFuzzer, so the corpora run as ordinary
// tests (and under the sanitizers). Arguments are files or directories; a directory replays every
// regular file in it, in name order. A property violation aborts like it does under the fuzzer.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
// Optional in a target; null when the target does not define it.
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

namespace fs = std::filesystem;

bool replayFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::fprintf(stderr, "cannot read %s\n", path.c_str()), false;
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // An exact-size heap block (never null, as under libFuzzer), so a read past the input is
    // caught under ASan.
    std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[bytes.size()]);
    std::copy(bytes.begin(), bytes.end(), exact.get());
    LLVMFuzzerTestOneInput(exact.get(), bytes.size());
    return true;
}

// Collects the files an argument names; false when it names nothing readable.
bool collect(const fs::path& arg, std::vector<fs::path>& files) {
    std::error_code ec;
    if (fs::is_regular_file(arg, ec)) return files.push_back(arg), true;
    if (!fs::is_directory(arg, ec)) return std::fprintf(stderr, "no such input: %s\n", arg.c_str()), false;
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(arg, ec))
        if (entry.is_regular_file(ec)) found.push_back(entry.path());
    std::sort(found.begin(), found.end());
    files.insert(files.end(), found.begin(), found.end());
    return !ec;
}

}  // namespace

int main(int argc, char** argv) {
    if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);
    std::vector<fs::path> files;
    bool ok = argc > 1;
    for (int i = 1; i < argc; ++i) ok = collect(argv[i], files) && ok;
    for (const fs::path& file : files) ok = replayFile(file) && ok;
    std::printf("replayed %zu inputs\n", files.size());
    return ok && !files.empty() ? 0 : 1;
}
