// The launcher's own options. They all start with "--quillet-", a prefix no viewer meets, and
// count only as the first argument; any other command line goes to the viewer unchanged.
//   --quillet-list          the entries with their sizes, and whether the payload is intact
//   --quillet-check         the payload's digest and every entry's CRC; writes nothing
//   --quillet-extract DIR   unpacks into DIR and runs nothing
//   --quillet-help, --quillet-version
#pragma once
#include <string>
#include <vector>

class LauncherOptions {
public:
    // True when arguments (those after the program's name) ask for a launcher option.
    static bool isOption(const std::vector<std::string>& arguments);
    // Carries out the option and returns the exit status (LauncherOutcome's numbers).
    static int run(const std::vector<std::string>& arguments);
};
