// Tarnel Zip: the public archive object. Open an archive with OpenZip, extract it with Unzip.
// Calls on one TnZip are serialised; 8-bit strings are ANSI text unless SetUtf8(true).
#pragma once
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
    // Unzip keeps every file, link or folder that already exists and skips the entry instead
    // (not a failure). The check and the creation are one step, so two entries of one name, or
    // another program creating the name meanwhile, never lead to an overwrite.
    void SetNeverOverwrite(bool on);

    // The log of the latest call. The text stays valid for the next nine text-returning calls.
    // A log is bounded however many entries fail: it keeps its first 2 MB of text and its last
    // 2 MB, with a line between them ("Log limit reached: N lines (M bytes) left out here")
    // saying what was dropped; the rendering adds its layout to those figures.
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
