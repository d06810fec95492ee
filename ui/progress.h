// A measure for the one step whose work the launcher can count: writing the
// payload's files. The status window shows it as a bar under the progress
// line; a console that is a terminal shows a percentage behind the line,
// updated in place. Output that goes to a file or a pipe carries no measure
// at all: it stays what it was without one.
//
// The extraction adds the bytes it writes to the run's counter (a
// ProgressMeasure the run owns and lends to each step); the display reads it
// on a thread of its own (the status window's, or a ticker for the console)
// a few times a second, and only while a step lives. So the workers take no
// lock and call no output code, and the measure of several extractions (the
// payload's runtime first, the rest later) adds up and never moves
// backwards.
#ifndef UI_PROGRESS_H
#define UI_PROGRESS_H

#include "ui/progress_measure.h"

#include <atomic>
#include <cstdint>

// One measured step: the constructor prints the progress line of catalogue
// key `key` on its channel (as ReportStatus does) and starts showing
// `measure` (whose total says what full means; null, or a total of 0: the
// line without a measure); the destructor shows the measure's last figure
// and ends it, after which no thread reads the measure any more. In the status
// window the bar then stays, at that figure, until the next progress line
// takes its place; on a terminal the line ends as it would without a
// measure. Main thread only, one step at a time; nothing else may print
// while a step lives.
class ProgressStep {
public:
    ProgressStep(const char *key, ProgressMeasure *measure);
    ~ProgressStep();
    ProgressStep(const ProgressStep &) = delete;
    ProgressStep &operator=(const ProgressStep &) = delete;

    // The counter the extraction adds its bytes to.
    std::atomic<uint64_t> *written();

private:
    enum class Shown { Plain, Window, Terminal } shown_ = Shown::Plain;
    void *ticker_ = nullptr;  // the terminal's ticker (see progress.cpp)
    ProgressMeasure own_;     // counts where the caller lends no measure
    ProgressMeasure *measure_;
};

#endif
