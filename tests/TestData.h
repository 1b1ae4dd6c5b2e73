// Where tests find files from other projects' test suites: the copies kept in tests/data/, else
// the full external corpus beside the checkout (a few large archives are only there).
#pragma once
#include <filesystem>
#include <string>

namespace testdata {

// Path of REL (a corpus-relative path such as "libzip/hmac-error.zip"); empty when neither
// tests/data/ nor the corpus has it, so callers can skip what only the corpus holds.
inline std::string path(const std::string& rel) {
    const std::filesystem::path local = std::filesystem::path(TN_SOURCE_DIR) / "tests" / "data" / rel;
    if (std::filesystem::exists(local)) return local.string();
    const std::filesystem::path corpus = std::filesystem::path(TN_CORPUS_DIR) / "external" / rel;
    if (std::filesystem::exists(corpus)) return corpus.string();
    return {};
}

}  // namespace testdata
