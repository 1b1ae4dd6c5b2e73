// The launcher sequence: the worker thread's body that copies the publication appended to
// this executable into a temporary archive, checking it against the length and SHA-256 stamped
// into the stub, extracts it into a new private folder, runs the viewer "offline.exe" from
// there, waits for it and removes everything again. A damaged publication never runs: the
// reader is told in one sentence and the process ends with its own status (LauncherOutcome).
#pragma once
#include <string>
#include <vector>

#include "launcher/LauncherOutcome.h"

class CBorvaneDlg;
class LauncherWorkspace;
class PayloadDigest;

// Runs the whole sequence and clears the dialog's busy flag at its end; returns 0. A null
// dialog returns at once.
unsigned WorkerThreadProc(CBorvaneDlg* dialog);

// What the viewer gets after its own path; set before the dialog starts the worker.
void SetViewerArguments(const std::vector<std::string>& arguments);

// Checks the payload's size, then copies it into a new temporary archive of the workspace,
// opened in the usable work directory, under a name that starts with stamp (set here), and
// starts checking the copy's digest. kNone with no archive made for a bare stub (or an
// interrupt); on a failure nothing is left behind.
LaunchFailure CopyToWorkspace(LauncherWorkspace& work, PayloadDigest& digest, std::string& stamp);

// What this executable's size says about its payload.
enum class PayloadState {
    kNone,         // exactly the stub, with no payload stamped: nothing to do
    kPresent,      // the stamped payload length follows the stub
    kWrongLength,  // longer or shorter than that: damaged
    kUnreadable,   // this executable's size cannot be had
};
PayloadState CheckPayloadSize();

// How reading the payload went.
enum class PayloadResult { kIntact, kInterrupted, kUnreadable, kDamaged, kWriteFailed };
// Copies everything after the stub length into the open temporary archive. kIntact only when
// it has the stamped length and every byte was written; the digest is PayloadDigest's.
PayloadResult CopyPayload(int archiveFile);
LaunchFailure failureOf(PayloadResult result);
// Why extracting an archive whose payload was intact failed: kDamaged when an entry does not
// decode, else kWriteFailed.
LaunchFailure UnzipFailure(const std::string& archivePath);

// Removes the workspace's folder and everything in it, never following symbolic links.
void DeleteFolderTree(LauncherWorkspace& work);
