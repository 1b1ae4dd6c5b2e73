// Tarnel Zip: the public archive object. Open an archive with OpenZip, extract it with Unzip,
// or list it and extract single entries. 8-bit strings passed in and returned are ANSI text
// unless SetUtf8(true); the TnZipEntry listing is always UTF-8.
//
// Threads: separate TnZip objects are independent and may be used in separate threads at the
// same time. Calls on one object are serialised: from several threads they run one after the
// other. Progress and sink events arrive on the thread that made the call.
#pragma once
#include <cstddef>
#include <vector>
#include <cstdint>

#include "TnObject.h"
#include "TnString.h"
#include "tarnel/TnZipExport.h"
#include "tarnel/TnZipEntry.h"
#include "tarnel/TnZipResult.h"
#include "tarnel/TnZipSink.h"
#include "tarnel/TnZipVersion.h"

class TnZipProgress;
class ZipDn;

class TARNEL_ZIP_API TnZip : public TnObject {
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
    // The most memory one entry's decoder may take for the window, dictionary or model that the
    // entry's stream asks for (zstd, LZMA, xz, PPMd); default 256 MiB. An entry that asks for
    // more fails with a message naming both sizes, before anything is allocated.
    void SetMaxDecoderMemory(std::uint64_t bytes);

    // The log of the latest call. The text stays valid for the next nine text-returning calls.
    // A log is bounded however many entries fail: it keeps its first 2 MB of text and its last
    // 2 MB, with a line between them ("Log limit reached: N lines (M bytes) left out here")
    // saying what was dropped; the rendering adds its layout to those figures.
    const char* LastErrorText();
    const char* LastErrorXml();
    const char* LastErrorHtml();

    // Opens an archive held in memory (smaller than 4 GiB). The bytes are borrowed, not copied:
    // they must stay valid and unchanged until CloseZip, the next open or the destruction.
    bool OpenZipFromMemory(const void* data, std::size_t size);
    // Forgets the open archive; NumEntries is 0 afterwards.
    void CloseZip();

    // The entries of the open archive, in archive order: index 0 to NumEntries() - 1.
    int NumEntries();
    // False (result kBadArgument) for an index out of range.
    bool GetEntry(int index, TnZipEntry& entry);
    // The index of the entry created at this path ('/' or '\' separated, as TnZipEntry::name
    // gives it), or -1 (result kNotFound).
    int FindEntry(const char* name);
    // Empty when the open archive's central directory is whole; otherwise one line naming what is
    // wrong with it (cut short, outside the file, split). The entries still found can be read,
    // but Unzip then fails. Valid like the texts above.
    const char* StructureDamage();

    // One entry's content into the sink, with the password, code page, progress and abort rules
    // of Unzip; the CRC-32 and the declared size are checked before true is returned (see
    // TnZipSink: the sink has the bytes by then). A folder gives no bytes; a link gives its target.
    bool ExtractEntry(int index, TnZipSink& sink, TnZipProgress* progress = nullptr);
    // The same into memory: out receives the content, or is left empty on failure.
    bool ExtractEntryToMemory(int index, std::vector<unsigned char>& out, TnZipProgress* progress = nullptr);
    // One entry as a file, folder or link below folder, with exactly the rules of Unzip.
    bool UnzipEntry(int index, const char* folder, TnZipProgress* progress = nullptr);

    // Why the latest call that opens, lists or extracts failed; kOk after a success.
    TnZipResult LastResult();
    // One line for a person about the latest OpenZip or extraction: the entry or path and the
    // reason, with the system's reason where the system refused something; empty after a
    // success. Valid like the texts above.
    const char* LastMessage();

private:
    const char* lastError(int format);
    TnString& nextResult();

    ZipDn* m_impl;
    bool m_utf8 = false;
    int m_resultIndex = 0;
    TnString m_results[10];
};
