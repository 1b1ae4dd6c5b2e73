// Percent routing of the zip event interface.
#include "archive/ZipCallback.h"

void ZipCallback::percentDone(int percent, bool* abort) {
    if (m_writePercentMode) writePercent(percent, abort);
    else unzipPercent(percent, abort);
}
