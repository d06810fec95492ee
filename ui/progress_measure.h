// The measure of the payload's writing, which the status window's bar and
// the console's percentage both show (ui/status_window.cpp, ui/progress.cpp):
// a counter the extraction's workers add to, and what it means.
#ifndef UI_PROGRESS_MEASURE_H
#define UI_PROGRESS_MEASURE_H

#include <atomic>
#include <cstdint>

// How often the display reads the counter.
const unsigned ProgressTickMs = 100;

// The counter and what a full measure means.
struct ProgressMeasure {
    std::atomic<uint64_t> written{0};  // bytes written so far, by any thread
    std::atomic<uint64_t> total{0};    // the whole payload; 0: nothing to measure
};

// The share `written` is of `total` in tenths of a percent: 0 to 1000,
// rounded down and never above 1000 (a counter past the total is full); 0
// when total is 0.
int ProgressPermille(uint64_t written, uint64_t total);

#endif
