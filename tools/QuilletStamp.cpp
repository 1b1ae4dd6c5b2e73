// quillet-stamp FILE: writes the finished stub's size into its stub-length slot.
// quillet-stamp --check FILE: exits 0 only when the stamped length equals the file's size.
// quillet-stamp --payload FILE: for a stub with a publication appended by other means, stamps
// the length and SHA-256 of what follows the stub, so that the launcher accepts it.
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/StubStamp.h"

int main(int argc, char** argv) {
    const char* mode = argc == 3 ? argv[1] : "";
    bool checkOnly = std::strcmp(mode, "--check") == 0, payload = std::strcmp(mode, "--payload") == 0;
    if (argc != 2 && !checkOnly && !payload) {
        std::fprintf(stderr, "usage: quillet-stamp [--check | --payload] FILE\n");
        return 2;
    }
    const std::string path = argv[argc - 1];
    std::string error, image;
    bool ok = checkOnly ? StubStamp::readFile(path, image, error) && StubStamp::check(image, error)
              : payload ? StubStamp::stampPublicationFile(path, error)
                        : StubStamp::stampFile(path, error);
    if (!ok) std::fprintf(stderr, "quillet-stamp: %s: %s\n", path.c_str(), error.c_str());
    return ok ? 0 : 1;
}
