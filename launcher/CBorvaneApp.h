// The application object: starts the platform, runs the progress dialog and ends the program.
#pragma once

class CBorvaneApp {
public:
    // The application's name as the platform records it; nothing is stored under it.
    static constexpr const char* kSettingsKey = "Velmora Offline Edition";

    // Runs the dialog to its end; false, so the program ends once it has closed.
    bool InitInstance();
};
