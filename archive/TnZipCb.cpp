// Forwarding of each zip event to the application's matching operation.
#include "archive/TnZipCb.h"

// An application's AbortCheck may write through its pointer without testing it.
void TnZipCb::zipAbortCheck(bool* abort) {
    if (m_app && abort) m_app->AbortCheck(abort);
}

void TnZipCb::writePercent(int percent, bool* abort) {
    if (m_app) m_app->WritePercent(percent, abort);
}

void TnZipCb::unzipPercent(int percent, bool* abort) {
    if (m_app) m_app->UnzipPercent(percent, abort);
}

void TnZipCb::toBeAdded(const char* name, int size, bool* exclude) {
    if (m_app) m_app->ToBeAdded(name, size, exclude);
}

void TnZipCb::dirToBeAdded(const char* name, bool* exclude) {
    if (m_app) m_app->DirToBeAdded(name, exclude);
}

void TnZipCb::fileAdded(const char* name, int size, bool* abort) {
    if (m_app) m_app->FileAdded(name, size, abort);
}

void TnZipCb::toBeZipped(const char* name, int size, bool* abort) {
    if (m_app) m_app->ToBeZipped(name, size, abort);
}

void TnZipCb::fileZipped(const char* name, int size, int compressedSize, bool* abort) {
    if (m_app) m_app->FileZipped(name, size, compressedSize, abort);
}

// The application's interface has no directory flag.
void TnZipCb::toBeUnzipped(const char* name, int compressedSize, int uncompressedSize, bool, bool* skip) {
    if (m_app) m_app->ToBeUnzipped(name, compressedSize, uncompressedSize, skip);
}

void TnZipCb::fileUnzipped(const char* name, int compressedSize, int uncompressedSize, bool, bool* abort) {
    if (m_app) m_app->FileUnzipped(name, compressedSize, uncompressedSize, abort);
}

void TnZipCb::addFilesBegin() {
    if (m_app) m_app->AddFilesBegin();
}

void TnZipCb::addFilesEnd() {
    if (m_app) m_app->AddFilesEnd();
}

void TnZipCb::writeZipBegin() {
    if (m_app) m_app->WriteZipBegin();
}

void TnZipCb::writeZipEnd() {
    if (m_app) m_app->WriteZipEnd();
}

void TnZipCb::unzipBegin() {
    if (m_app) m_app->UnzipBegin();
}

void TnZipCb::unzipEnd() {
    if (m_app) m_app->UnzipEnd();
}

void TnZipCb::entryFailed(const char* name, int result, const char* message) {
    if (m_app) m_app->EntryFailed(name, static_cast<TnZipResult>(result), message);
}
