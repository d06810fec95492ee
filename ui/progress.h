// A measure for the one step whose work the launcher can count: writing the
// payload's files. The status window shows it as a bar under the progress
// line; a console that is a terminal shows a percentage behind the line,
// updated in place. Output that goes to a file or a pipe carries no measure
// at all: it stays what it was without one.
//
// The extraction adds the bytes it writes to one counter per process; the
// display reads it on a thread of its own (the status window's, or a ticker
// for the console) a few times a second. So the workers take no lock and
// call no output code, and the measure of several extractions (the payload's
// runtime first, the rest later) adds up and never moves backwards.
#ifndef UI_PROGRESS_H
#define UI_PROGRESS_H

#include "ui/progress_measure.h"

#include <atomic>
#include <cstdint>

// Sets what a full measure means: the payload's uncompressed bytes. Until
// it is set (or when it is 0) a step shows its line without a measure.
void SetProgressTotal(uint64_t totalBytes);

// One measured step: the constructor prints the progress line of catalogue
// key `key` on its channel (as ReportStatus does) and starts the measure;
// the destructor shows the measure's last figure and ends it. In the status
// window the bar then stays, at that figure, until the next progress line
// takes its place; on a terminal the line ends as it would without a
// measure. Main thread only, one step at a time; nothing else may print
// while a step lives.
class ProgressStep {
public:
    explicit ProgressStep(const char *key);
    ~ProgressStep();
    ProgressStep(const ProgressStep &) = delete;
    ProgressStep &operator=(const ProgressStep &) = delete;

    // The counter the extraction adds its bytes to.
    std::atomic<uint64_t> *written();

private:
    enum class Shown { Plain, Window, Terminal } shown_ = Shown::Plain;
    void *ticker_ = nullptr;  // the terminal's ticker (see progress.cpp)
};

#endif
