// The internal event interface through which long operations report progress and ask whether to
// stop. Every default is harmless, so an implementer overrides only what it listens to.
// Reaches crypto/, pipeline/ and extract/ through ProgressMonitor.h and ZipCallback.h: this
// header includes nothing of the library.
#pragma once

class ProgressEvent {
public:
    ProgressEvent() = default;
    virtual ~ProgressEvent() = default;

    // The whole percentage of the work grew to percent. Setting *abort asks the work to stop.
    virtual void percentDone(int /*percent*/, bool* abort) { clearFlag(abort); }
    // Raised between percent events so that the application can still stop the work.
    virtual void abortCheck(bool* /*abort*/) {}

    // Events of other kinds of work (text-producing tasks); this library never raises them.
    virtual void textProgress(const char* /*text*/, bool* abort) { clearFlag(abort); }
    virtual void progressInfo(const char* /*key*/, const char* /*value*/) {}
    virtual bool progressWanted() { return false; }

protected:
    static void clearFlag(bool* flag) {
        if (flag) *flag = false;
    }
};
