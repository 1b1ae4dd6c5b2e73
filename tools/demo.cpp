// Demonstrates the library's foundation until the launcher becomes the main job.
#include <cstdio>

#include "base/TarnelObject.h"

int main() {
    TarnelObject first;
    TarnelObject second;
    std::printf("Tarnel Zip foundation: objects numbered %llu and %llu\n",
                static_cast<unsigned long long>(first.creationSequence()),
                static_cast<unsigned long long>(second.creationSequence()));
    return 0;
}
