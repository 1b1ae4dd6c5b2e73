// The public archive object: turns 8-bit strings into XString and calls the locked layer.
#include "archive/TnZip.h"

#include "archive/TnZipCb.h"
#include "tarnel/TnZipEntry.h"
#include "archive/ZipDn.h"
#include "base/StringBuffer.h"
#include "base/XString.h"

TnZip::TnZip() : m_impl(new ZipDn) {}

TnZip::~TnZip() {
    delete m_impl;
    m_impl = nullptr;
}

bool TnZip::OpenZip(const char* path) {
    XString text;
    text.setText(path, m_utf8);
    return m_impl->open(text);
}

int TnZip::Unzip(const char* folder, TnZipProgress* progress) {
    XString text;
    text.setText(folder, m_utf8);
    if (progress == nullptr) return m_impl->unzip(text, nullptr);
    TnZipCb callback(progress);
    return m_impl->unzip(text, &callback);
}

// Settings arrive in the caller's encoding; the archive object keeps UTF-8.
void TnZip::SetPassword(const char* password) {
    XString text;
    text.setText(password, m_utf8);
    m_impl->setPassword(text.getUtf8());
}

void TnZip::SetTempDir(const char* folder) {
    XString text;
    text.setText(folder, m_utf8);
    m_impl->setTempDir(text.getUtf8());
}

void TnZip::SetNeverOverwrite(bool on) { m_impl->setNeverOverwrite(on); }
void TnZip::SetOemCodePage(int codePage) { m_impl->setOemCodePage(codePage); }
void TnZip::SetVerboseLogging(bool on) { m_impl->setVerboseLogging(on); }
void TnZip::SetMaxDecoderMemory(std::uint64_t bytes) { m_impl->setMaxDecoderMemory(bytes); }

void TnZip::SetUtf8(bool on) {
    m_utf8 = on;
    for (TnString& s : m_results) s.setUtf8(on);
}

const char* TnZip::LastErrorText() { return lastError(static_cast<int>(ZipDn::LogFormat::kText)); }
const char* TnZip::LastErrorXml() { return lastError(static_cast<int>(ZipDn::LogFormat::kXml)); }
const char* TnZip::LastErrorHtml() { return lastError(static_cast<int>(ZipDn::LogFormat::kHtml)); }

const char* TnZip::lastError(int format) {
    StringBuffer log;
    m_impl->getLog(static_cast<ZipDn::LogFormat>(format), log);
    return nextResult().assignUtf8(log.text());
}

// Ten strings in rotation: a returned pointer stays valid for the next nine results.
TnString& TnZip::nextResult() {
    TnString& s = m_results[m_resultIndex];
    m_resultIndex = (m_resultIndex + 1) % 10;
    return s;
}

TnZipResult TnZip::LastResult() { return m_impl->lastResult(); }

const char* TnZip::LastMessage() { return nextResult().assignUtf8(m_impl->lastMessage().c_str()); }

void TnZip::CloseZip() { m_impl->close(); }
int TnZip::NumEntries() { return m_impl->numEntries(); }
const char* TnZip::StructureDamage() { return nextResult().assignUtf8(m_impl->structureDamage().c_str()); }
bool TnZip::GetEntry(int index, TnZipEntry& entry) { return m_impl->getEntry(index, entry); }

int TnZip::FindEntry(const char* name) {
    XString text;
    text.setText(name, m_utf8);
    return m_impl->findEntry(text.getUtf8());
}

bool TnZip::ExtractEntry(int index, TnZipSink& sink, TnZipProgress* progress) {
    if (progress == nullptr) return m_impl->extractEntry(index, sink, nullptr);
    TnZipCb callback(progress);
    return m_impl->extractEntry(index, sink, &callback);
}

namespace {
class VectorSink : public TnZipSink {
public:
    explicit VectorSink(std::vector<unsigned char>& out) : m_out(out) {}
    bool Write(const void* data, std::size_t size) override {
        const auto* bytes = static_cast<const unsigned char*>(data);
        m_out.insert(m_out.end(), bytes, bytes + size);
        return true;
    }

private:
    std::vector<unsigned char>& m_out;
};
}  // namespace

bool TnZip::ExtractEntryToMemory(int index, std::vector<unsigned char>& out, TnZipProgress* progress) {
    out.clear();
    VectorSink sink(out);
    if (ExtractEntry(index, sink, progress)) return true;
    out.clear();
    return false;
}

bool TnZip::UnzipEntry(int index, const char* folder, TnZipProgress* progress) {
    XString text;
    text.setText(folder, m_utf8);
    if (progress == nullptr) return m_impl->unzipEntry(index, text.getUtf8(), nullptr);
    TnZipCb callback(progress);
    return m_impl->unzipEntry(index, text.getUtf8(), &callback);
}

bool TnZip::OpenZipFromMemory(const void* data, std::size_t size) { return m_impl->openFromMemory(data, size); }
