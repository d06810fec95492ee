// The run's phase (RunState::controlPhase) is the only state the handler
// shares with the main thread. Both change it with one compare-and-exchange
// from "preparing": the handler to "stopping", the main thread to "wizard".
// Whichever comes first decides, so an event can neither stop a wizard that
// has already been started nor be lost just before the start.
#include "launcher/console_control.h"

#include "launcher/build_variant.h"
#include "launcher/run_state.h"

namespace {

enum : LONG { Preparing = 0, Stopping = 1, Wizard = 2 };

} // namespace

void InstallConsoleControlHandler()
{
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

bool StopRequested()
{
    return InterlockedCompareExchange(&Run().controlPhase, Preparing, Preparing) == Stopping;
}

bool StartingWizard()
{
    return InterlockedCompareExchange(&Run().controlPhase, Wizard, Preparing) != Stopping;
}

BOOL WINAPI OnConsoleControl(DWORD event)
{
    InterlockedCompareExchange(&Run().controlPhase, Stopping, Preparing);
    TestConsoleControlHook(event);
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
    // Closing, logoff, shutdown: returning would end the process at once,
    // leaving the working directory behind. The main thread ends the
    // process when it has stopped or cleaned up; the system's own time
    // limit is the outer bound.
    Sleep(INFINITE);
    return TRUE;
}
