// Implementation notes.
//
// The counter is the run's, lent to both steps that write the payload (its
// runtime during the search, the rest later), so one measure spans both.
// Only the main thread starts and ends steps; the readers are the status
// window's thread (a timer, ui/status_window.cpp) or the terminal's ticker
// below, each started by the step and done with the measure when it ends.
//
// On a terminal the line is written without its line feed, then rewritten
// after a carriage return with the percentage behind it whenever the whole
// percent changes. At the end the percentage is overwritten with blanks and
// the line feed follows, so the screen shows the line as it is without a
// measure. Whether standard output is a terminal is asked of the console
// (GetConsoleMode): a file or a pipe has no mode, and gets the plain line.
#include "ui/progress.h"

#include "base/owned.h"
#include "ui/catalogue.h"
#include "ui/output.h"
#include "ui/output_internal.h"

#include <windows.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

bool StandardOutputIsTerminal()
{
    const int descriptor = _fileno(stdout);
    const intptr_t handle = descriptor >= 0 ? _get_osfhandle(descriptor) : -1;
    DWORD mode = 0;
    return handle != -1 && handle != -2 &&
           GetConsoleMode(reinterpret_cast<HANDLE>(handle), &mode) != 0;
}

// The percentage behind the line on a terminal, rewritten in place.
class Ticker {
public:
    Ticker(std::string line, const ProgressMeasure &measure)
        : line_(std::move(line)), measure_(measure)
    {
    }
    ~Ticker()
    {
        if (stop_ != nullptr) CloseHandle(stop_);
        if (thread_ != nullptr) CloseHandle(thread_);
    }
    Ticker(const Ticker &) = delete;
    Ticker &operator=(const Ticker &) = delete;

    // Shows the line and 0 %, and starts the thread that follows the
    // counter. False, with nothing written, when no thread can be had.
    bool Start()
    {
        stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (stop_ == nullptr) return false;
        thread_ = CreateThread(nullptr, 0, Run, this, CREATE_SUSPENDED, nullptr);
        if (thread_ == nullptr) return false;
        Show();
        ResumeThread(thread_);
        return true;
    }

    // Ends the thread, shows the last figure, then leaves the line as it
    // would stand without a measure.
    void Finish()
    {
        SetEvent(stop_);
        WaitForSingleObject(thread_, INFINITE);
        Show();
        const std::string end = "\r" + line_ + std::string(suffixLength_, ' ') + "\n";
        fwrite(end.data(), 1, end.size(), stdout);
        fflush(stdout);
    }

private:
    static DWORD WINAPI Run(LPVOID self)
    {
        Ticker *ticker = static_cast<Ticker *>(self);
        while (WaitForSingleObject(ticker->stop_, ProgressTickMs) == WAIT_TIMEOUT) ticker->Show();
        return 0;
    }

    void Show()
    {
        const int percent = ProgressPermille(measure_.written.load(std::memory_order_relaxed),
                                             measure_.total.load()) / 10;
        if (percent == shownPercent_) return;
        shownPercent_ = percent;
        const std::string suffix = " " + std::to_string(percent) + "%";
        if (suffix.size() > suffixLength_) suffixLength_ = suffix.size();
        const std::string text = "\r" + line_ + suffix;
        fwrite(text.data(), 1, text.size(), stdout);
        fflush(stdout);
    }

    std::string line_;
    const ProgressMeasure &measure_;
    HANDLE stop_ = nullptr;
    HANDLE thread_ = nullptr;
    int shownPercent_ = -1;  // the counter only grows, so neither does this
    size_t suffixLength_ = 0;
};

} // namespace

ProgressStep::ProgressStep(const char *key, ProgressMeasure *measure)
    : measure_(measure != nullptr ? measure : &own_)
{
    OwnedText text(GetLocalizedMessage(key));
    if (measure_->total.load() != 0) {
        if (StatusGoesToWindow()) {
            statusf("%s", text.get());
            if (ShowProgressInStatusWindow(measure_)) shown_ = Shown::Window;
            return;
        }
        std::string line(text.get());
        if (!line.empty() && line.back() == '\n' && StandardOutputIsTerminal()) {
            line.pop_back();
            Ticker *ticker = new Ticker(line, *measure_);
            if (ticker->Start()) {
                ticker_ = ticker;
                shown_ = Shown::Terminal;
                return;
            }
            delete ticker;
        }
    }
    statusf("%s", text.get());
}

ProgressStep::~ProgressStep()
{
    if (shown_ == Shown::Window) {
        EndProgressInStatusWindow();
    } else if (shown_ == Shown::Terminal) {
        Ticker *ticker = static_cast<Ticker *>(ticker_);
        ticker->Finish();
        delete ticker;
    }
}

std::atomic<uint64_t> *ProgressStep::written()
{
    return &measure_->written;
}
