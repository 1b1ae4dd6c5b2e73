// Tarnel Zip: the public archive object. Open an archive with OpenZip, extract it with Unzip.
// Calls on one TnZip are serialised; 8-bit strings are ANSI text unless SetUtf8(true).
#pragma once
#include <cstdint>

#include "TnObject.h"
#include "TnString.h"

class TnZipProgress;
class ZipDn;

class TnZip : public TnObject {
public:
    TnZip();
    ~TnZip() override;

    // True when the archive was opened and its entries were read.
    bool OpenZip(const char* path);
    // The number of files extracted (0 is possible), or -1 on failure. progress may be null.
    int Unzip(const char* folder, TnZipProgress* progress = nullptr);

    void SetPassword(const char* password);
    void SetOemCodePage(int codePage);
    void SetVerboseLogging(bool on);
    void SetUtf8(bool on);
    void SetTempDir(const char* folder);
    // The most memory one entry's decoder may take for the window, dictionary or model that the
    // entry's stream asks for (zstd, LZMA, xz, PPMd); default 256 MiB. An entry that asks for
    // more fails with a message naming both sizes, before anything is allocated.
    void SetMaxDecoderMemory(std::uint64_t bytes);

    // The log of the latest call. The text stays valid for the next nine text-returning calls.
    const char* LastErrorText();
    const char* LastErrorXml();
    const char* LastErrorHtml();

private:
    const char* lastError(int format);
    TnString& nextResult();

    ZipDn* m_impl;
    bool m_utf8 = false;
    int m_resultIndex = 0;
    TnString m_results[10];
};
