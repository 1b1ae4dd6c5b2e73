// The progress dialog: shows the text and the bar, starts the launcher sequence on a worker
// thread half a second after it appears, and closes once the worker has cleared its busy flag.
// It is also the progress object through which the extraction moves the bar.
#pragma once
#include <atomic>

#include "archive/TnZipProgress.h"
#include "launcher/DialogWindow.h"

class CBorvaneDlg : public TnZipProgress, private DialogWindowEvents {
public:
    static constexpr unsigned kStartTimer = 7858;  // once, 500 ms after set-up: starts the worker
    static constexpr unsigned kCloseTimer = 7859;  // every second: closes once the flag is clear
    static constexpr int kIdCancel = 2;

    CBorvaneDlg();
    ~CBorvaneDlg() override;

    // Shows the dialog and runs its loop until it closes; returns the close result.
    int DoModal();

    // Worker thread: moves the bar, in order, before returning. Never asks for an abort.
    void UnzipPercent(int percent, bool* abort) override;
    void Hide();
    // Tells the reader why the publication did not open, over the dialog while it is shown.
    void ShowMessage(const char* sentence);

    // 1 from the start timer until the worker's last step; written by both threads.
    std::atomic<int> m_busy{0};

    // Platform-neutral parts of the window's handling, reachable for tests.
    bool OnInitDialog();
    void OnTimer(unsigned id);
    // True when the key must do nothing (Enter and Escape).
    bool PreTranslateKeyDown(unsigned key) const;

private:
    void onTimer(unsigned id) override { OnTimer(id); }
    bool onKeyDown(unsigned key) override { return PreTranslateKeyDown(key); }

    DialogWindow m_window;
};
