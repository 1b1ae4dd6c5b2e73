// Opens an archive with no entries through the installed public headers only.
#include <cstdio>
#include <string>

#include <tarnel/TnZip.h>
#include <tarnel/TnZipProgress.h>

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const std::string path = std::string(argv[1]) + "/empty.zip";
    const unsigned char endRecord[22] = {0x50, 0x4B, 0x05, 0x06};
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(endRecord, 1, sizeof endRecord, f) != sizeof endRecord) return 3;
    std::fclose(f);
    TnZip zip;
    TnZipProgress progress;
    if (!zip.OpenZip(path.c_str())) return std::puts(zip.LastErrorText()), 4;
    if (zip.Unzip(argv[1], &progress) != 0) return 5;
    return zip.OpenZip((path + ".missing").c_str()) ? 6 : 0;
}
