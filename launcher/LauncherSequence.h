// The launcher sequence: the worker thread's body that copies the publication appended to
// this executable into a temporary archive, extracts it into a new private folder, runs the
// viewer "offline.exe" from there, waits for it and removes everything again.
#pragma once
#include <string>

class CBorvaneDlg;
class LauncherWorkspace;

// Runs the whole sequence and clears the dialog's busy flag at its end; returns 0. A null
// dialog returns at once.
unsigned WorkerThreadProc(CBorvaneDlg* dialog);

// False only when this executable's size is known and no larger than the stub length.
bool HasPayload();
// Copies everything after the stub length into the open temporary archive. False when this
// executable cannot be read or an interrupt stopped the copy.
bool CopyPayload(int archiveFile);
// Removes the workspace's folder and everything in it, never following symbolic links.
void DeleteFolderTree(LauncherWorkspace& work);
