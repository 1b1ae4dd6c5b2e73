// Pokes the launcher's dialog while it is shown: waits up to 20 s for the window titled
// "Quillet Offline Publication", presses Enter and then Escape in it (posted as the keyboard
// would deliver them to the focused control), waits 300 ms and prints whether the dialog is
// still there and visible: "keys=survived" or "keys=closed"; "dialog=none" when it never came.
#include <windows.h>

#include <cstdio>

namespace {

void press(HWND target, UINT key) {
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}

}  // namespace

int main() {
    HWND dialog = nullptr;
    for (int waited = 0; !dialog && waited < 20000; waited += 20) {
        dialog = FindWindowW(nullptr, L"Quillet Offline Publication");
        if (!dialog) Sleep(20);
    }
    if (!dialog) {
        std::puts("dialog=none");
        return 1;
    }
    HWND bar = GetDlgItem(dialog, 1000);
    press(bar ? bar : dialog, VK_RETURN);
    press(bar ? bar : dialog, VK_ESCAPE);
    press(dialog, VK_RETURN);
    press(dialog, VK_ESCAPE);
    Sleep(300);
    bool there = IsWindow(dialog) && IsWindowVisible(dialog);
    std::printf("keys=%s\n", there ? "survived" : "closed");
    return 0;
}
