// quillet-stamp FILE: writes the finished stub's size into its stub-length slot.
// quillet-stamp --check FILE: exits 0 only when the stamped length equals the file's size.
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/StubStamp.h"

int main(int argc, char** argv) {
    bool checkOnly = argc == 3 && std::strcmp(argv[1], "--check") == 0;
    if (argc != 2 && !checkOnly) {
        std::fprintf(stderr, "usage: quillet-stamp [--check] STUB\n");
        return 2;
    }
    const std::string path = argv[argc - 1];
    std::string error, image;
    bool ok = checkOnly ? StubStamp::readFile(path, image, error) && StubStamp::check(image, error)
                        : StubStamp::stampFile(path, error);
    if (!ok) std::fprintf(stderr, "quillet-stamp: %s: %s\n", path.c_str(), error.c_str());
    return ok ? 0 : 1;
}
