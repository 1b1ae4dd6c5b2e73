// The progress dialog's behaviour; the window itself is DialogWindow.
#include "launcher/CBorvaneDlg.h"

#include "launcher/LauncherSequence.h"

namespace {

constexpr unsigned kKeyEnter = 0x0D;
constexpr unsigned kKeyEscape = 0x1B;
constexpr const char* kTitle = "Quillet Offline Publication";

unsigned workerEntry(void* dialog) { return WorkerThreadProc(static_cast<CBorvaneDlg*>(dialog)); }

}  // namespace

CBorvaneDlg::CBorvaneDlg() : m_window(*this) {}

CBorvaneDlg::~CBorvaneDlg() = default;

int CBorvaneDlg::DoModal() {
    m_window.create(kTitle, "Preparing publication. Please Wait...");
    OnInitDialog();
    return m_window.runModal();
}

bool CBorvaneDlg::OnInitDialog() {
    m_window.setProgressRange(0, 100);
    m_window.startTimer(kStartTimer, 500);
    return true;
}

void CBorvaneDlg::OnTimer(unsigned id) {
    if (id == kStartTimer) {
        m_window.killTimer(kStartTimer);
        m_busy = 1;
        m_window.startTimer(kCloseTimer, 1000);
        // Without a worker nothing would ever clear the flag; let the close timer end it.
        if (!m_window.startThread(workerEntry, this)) m_busy = 0;
    } else if (id == kCloseTimer && m_busy == 0) {
        m_window.killTimer(kCloseTimer);
        m_window.endModal(kIdCancel);
    }
}

bool CBorvaneDlg::PreTranslateKeyDown(unsigned key) const { return key == kKeyEnter || key == kKeyEscape; }

void CBorvaneDlg::UnzipPercent(int percent, bool*) { m_window.setProgressPos(percent); }

void CBorvaneDlg::Hide() { m_window.hide(); }

void CBorvaneDlg::ShowMessage(const char* sentence) { m_window.showMessage(kTitle, sentence); }
