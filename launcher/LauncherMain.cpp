// Entry point of quillet-offline.
#include "launcher/CBorvaneApp.h"

int main() {
    CBorvaneApp app;
    app.InitInstance();
    return 0;
}
