// Application start-up of the launcher.
#include "launcher/CBorvaneApp.h"

#include "launcher/CBorvaneDlg.h"

bool CBorvaneApp::InitInstance() {
    // Without a display the same sequence runs with no window.
    dialogPlatformStart(kSettingsKey);
    {
        CBorvaneDlg dialog;
        dialog.DoModal();
    }
    return false;
}
