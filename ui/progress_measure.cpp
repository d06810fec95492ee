#include "ui/progress_measure.h"

int ProgressPermille(uint64_t written, uint64_t total)
{
    if (total == 0) return 0;
    if (written >= total) return 1000;
    // written < total, so written * 1000 overflows only for totals beyond
    // 2^54 bytes; divide the total first there.
    if (written <= UINT64_MAX / 1000) return static_cast<int>(written * 1000 / total);
    return static_cast<int>(written / (total / 1000 + 1));
}
