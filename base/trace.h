// The diagnostic trace: plain-text lines that a run appends to the file an
// environment variable (or the command line's -log) names, so that a user can see why a runtime was taken
// or refused, what Java was started with and what the cleanup left.
//
// A Trace that is off (no variable, an empty one, or a file that cannot be
// opened) writes nothing and costs a test of one flag per line: callers guard
// only lines whose arguments are costly to build (Trace::on). Nothing a trace
// does, or fails to do, changes the run.
#ifndef BASE_TRACE_H
#define BASE_TRACE_H

#include "base/owned.h"

class Trace {
public:
    Trace() = default;
    Trace(Trace &&) = default;
    Trace &operator=(Trace &&) = default;

    // Turns the trace on when the environment variable `variable` names a
    // file that can be opened for appending (created when missing, shared
    // with other writers, never inherited by child processes): a plain file
    // on a disk, never a device, a link nor what a link points at. Writes the
    // header line: local time, then `title`. Stays off otherwise, silently.
    void Open(const char *variable, const char *title);

    // The same for the file `path` names (null or empty: stays off).
    void OpenFile(const char *path, const char *title);

    // True when lines are written.
    bool on() const { return file_.valid(); }

    // Appends one line, formatted as by printf, preceded by the milliseconds
    // since Open. Does nothing when off; a failed write is ignored.
    void Line(const char *format, ...)
#ifdef __GNUC__
        __attribute__((format(printf, 2, 3)))
#endif
        ;

    // Ends the trace (closes the file); later lines are dropped.
    void Close() { file_.reset(); }

private:
    OwnedHandle file_;
    unsigned long startTicks_ = 0;
};

// A trace that is always off, for callers that keep none.
Trace &NoTrace();

// `text` for a trace line: "(none)" for null.
inline const char *Traced(const char *text)
{
    return text != nullptr ? text : "(none)";
}

#endif
