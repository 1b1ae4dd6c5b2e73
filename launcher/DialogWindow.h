// The platform side of the progress dialog: one window with a text and a progress bar, its
// timers and its event loop. DialogWindowGtk.cpp implements it with GTK 3; without a display
// the same loop and timers run and the window calls do nothing.
#pragma once

// What the window reports to the dialog, always on the interface thread.
class DialogWindowEvents {
public:
    virtual ~DialogWindowEvents() = default;
    virtual void onTimer(unsigned id) = 0;
    // Key codes as the platform's virtual keys (Enter 0x0D, Escape 0x1B). True when the key
    // must have no further effect.
    virtual bool onKeyDown(unsigned key) = 0;
};

class DialogWindow {
public:
    explicit DialogWindow(DialogWindowEvents& events);
    ~DialogWindow();
    DialogWindow(const DialogWindow&) = delete;
    DialogWindow& operator=(const DialogWindow&) = delete;

    // Builds and shows the window. False when no display can be opened; the loop and the
    // timers work all the same.
    bool create(const char* title, const char* text);
    bool hasWindow() const;

    // Interface thread only.
    void setProgressRange(int low, int high);
    void startTimer(unsigned id, unsigned periodMs);
    void killTimer(unsigned id);
    // Runs the event loop until endModal; returns its result.
    int runModal();
    void endModal(int result);

    // Any thread: carried out on the interface thread; returns once done, so calls from
    // one thread take effect in their order.
    void setProgressPos(int pos);
    void hide();
    // A message box over the window with one OK button; returns once the reader has closed it.
    // Does nothing when there is no window.
    void showMessage(const char* title, const char* text);

    // Starts proc(arg) on a thread of its own; false when no thread could be started.
    bool startThread(unsigned (*proc)(void*), void* arg);

    struct State;

private:
    State* m_state;
};

// Application start on this platform: records the application's name with the platform and
// prepares the toolkit. False when no display can be opened.
bool dialogPlatformStart(const char* applicationName);
