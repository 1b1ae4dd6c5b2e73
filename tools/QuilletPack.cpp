// quillet-pack DIR -o OUT [--stub PATH] [--level 0-9]
// Writes OUT = the launcher stub followed by a ZIP of DIR, which must hold offline.exe.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/PublicationPacker.h"

namespace {

int usage() {
    std::fprintf(stderr, "usage: quillet-pack DIR -o OUT [--stub PATH] [--level 0-9]\n");
    return 2;
}

// The stub installed beside this program.
std::string defaultStub() {
    char self[PATH_MAX + 1];
    ssize_t n = readlink("/proc/self/exe", self, PATH_MAX);
    std::string path(self, n > 0 ? std::size_t(n) : 0);
    std::size_t slash = path.rfind('/');
    return (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "/quillet-offline";
}

bool parseLevel(const char* text, int& level) {
    if (std::strlen(text) != 1 || text[0] < '0' || text[0] > '9') return false;
    level = text[0] - '0';
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    PublicationPacker::Options options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "-o" && hasValue) options.output = argv[++i];
        else if (arg == "--stub" && hasValue) options.stub = argv[++i];
        else if (arg == "--level" && hasValue) {
            if (!parseLevel(argv[++i], options.level)) return usage();
        } else if (!arg.empty() && arg[0] != '-' && options.folder.empty()) options.folder = arg;
        else return usage();
    }
    if (options.folder.empty() || options.output.empty()) return usage();
    if (options.stub.empty()) options.stub = defaultStub();
    std::string error;
    if (PublicationPacker::pack(options, error)) return 0;
    std::fprintf(stderr, "quillet-pack: %s\n", error.c_str());
    return 1;
}
