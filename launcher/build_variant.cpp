// Compiled once per program variant: the test variants carry test-only hooks,
// the shipped programs empty ones.
#include "launcher/build_variant.h"

#include "base/mbcs.h"
#include "base/path.h"
#include "launcher/console_control.h"
#include "zip/fileio.h"

#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#ifdef LAUNCHER_TEST_HOOKS
namespace {

// Every thread the process starts, counted by the loader as it starts it
// (a TLS callback), whoever starts it.
volatile LONG threadsStarted;

void NTAPI CountThreadStart(void *, DWORD reason, void *)
{
    if (reason == DLL_THREAD_ATTACH) InterlockedIncrement(&threadsStarted);
}

} // namespace

extern "C" __attribute__((section(".CRT$XLY"), used))
const PIMAGE_TLS_CALLBACK launcherCountThreadStart = CountThreadStart;
#endif

void TestFaultHook(const char *point)
{
#ifdef LAUNCHER_TEST_HOOKS
    // Test builds only: LAUNCHER_TEST_FAULT=<point>[:breakpoint] raises an
    // access violation (or a breakpoint) at that point of the launch;
    // <point>:out-of-memory makes a C++ allocation fail there, and
    // <point>:pause holds the launch there until a console event stops it;
    // <point>:threads says how many threads the process has started so far.
    const char *want = getenv("LAUNCHER_TEST_FAULT");
    if (want == nullptr) return;
    size_t n = strlen(point);
    if (strncmp(want, point, n) != 0) return;
    if (strcmp(want + n, ":breakpoint") == 0) {
        RaiseException(EXCEPTION_BREAKPOINT, 0, 0, nullptr);
        return;
    }
    if (strcmp(want + n, ":out-of-memory") == 0) {
        // A std::vector no process can hold: its allocation fails for real.
        std::vector<char> hog(std::vector<char>().max_size());
        hog[0] = 1;
        return;
    }
    if (strcmp(want + n, ":pause") == 0) {
        // Held here until a console control event asks the run to stop.
        printf("paused at %s\n", point);
        fflush(stdout);
        while (!StopRequested()) Sleep(10);
        return;
    }
    if (strcmp(want + n, ":threads") == 0) {
        printf("threads started before %s: %ld\n", point, threadsStarted);
        fflush(stdout);
        return;
    }
    if (strcmp(want + n, ":hold") == 0) {
        printf("held at %s\n", point);
        fflush(stdout);
        char line[16];
        if (fgets(line, sizeof line, stdin) == nullptr) exit(1);
        return;
    }
    if (want[n] == '\0') RaiseException(EXCEPTION_ACCESS_VIOLATION, 0, 0, nullptr);
#else
    (void)point;
#endif
}

#ifdef LAUNCHER_TEST_HOOKS
namespace {

DWORD writeDelayMs;
FileIo delayedWrites;

// The blocks are held back one at a time, so that a watched extraction
// takes as long whatever the number of workers (two a processor).
int DelayedWrite(int fd, const void *buffer, unsigned count)
{
    static std::mutex oneAtATime;
    {
        std::lock_guard<std::mutex> hold(oneAtATime);
        Sleep(writeDelayMs);
    }
    return fileioSystem()->write(fd, buffer, count);
}

void LoadLibraryHook()
{
    const char *name = getenv("LAUNCHER_TEST_LOAD_LIBRARY");
    if (name == nullptr || *name == '\0') return;
    HMODULE module = LoadLibraryW(WidenAnsi(name).c_str());
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = module != nullptr
                       ? GetModuleFileNameW(module, &path[0], static_cast<DWORD>(path.size()))
                       : 0;
    path.resize(length);
    printf("%s\n", module != nullptr ? AnsiPath(path).c_str() : "not loaded");
    fflush(stdout);
    exit(0);
}

void WriteDelayHook()
{
    const char *delay = getenv("LAUNCHER_TEST_WRITE_DELAY_MS");
    if (delay == nullptr || *delay == '\0') return;
    writeDelayMs = strtoul(delay, nullptr, 10);
    delayedWrites = *fileioSystem();
    delayedWrites.write = DelayedWrite;
    // Every block goes through the slow write: no entry is decoded in a view.
    delayedWrites.mapView = nullptr;
    delayedWrites.unmapView = nullptr;
    fileioInstall(&delayedWrites);
}

// LAUNCHER_TEST_CONSOLE_EVENT=<path>:<event>: once <path> exists, the
// console control event <event> comes as the system delivers it: on a
// thread of its own, and for a close, logoff or shutdown the process ends
// as soon as the handler returns. The closing of a console cannot be had
// under Wine.
std::string consoleEventTrigger;
DWORD consoleEvent;

DWORD WINAPI DeliverConsoleEvent(void *)
{
    const std::wstring trigger = WidenAnsi(consoleEventTrigger.c_str());
    while (GetFileAttributesW(trigger.c_str()) == INVALID_FILE_ATTRIBUTES) Sleep(10);
    OnConsoleControl(consoleEvent);
    if (consoleEvent != CTRL_C_EVENT && consoleEvent != CTRL_BREAK_EVENT)
        ExitProcess(STATUS_CONTROL_C_EXIT);
    return 0;
}

// Says on standard output that the handler has the event, or the hidden
// window the session's end, so a test knows it arrived.
void SayConsoleEvent(unsigned long event)
{
    printf("console control event %lu\n", event);
    fflush(stdout);
}

void SayEndSession()
{
    printf("end-session message\n");
    fflush(stdout);
}

void ConsoleEventHook()
{
    ConsoleEventSeen = SayConsoleEvent;
    EndSessionSeen = SayEndSession;
    const char *want = getenv("LAUNCHER_TEST_CONSOLE_EVENT");
    const char *colon = want != nullptr ? strrchr(want, ':') : nullptr;
    if (colon == nullptr) return;
    consoleEventTrigger.assign(want, colon);
    consoleEvent = strtoul(colon + 1, nullptr, 10);
    HANDLE thread = CreateThread(nullptr, 0, DeliverConsoleEvent, nullptr, 0, nullptr);
    if (thread != nullptr) CloseHandle(thread);
}

} // namespace
#endif

void TestStartHooks()
{
#ifdef LAUNCHER_TEST_HOOKS
    LoadLibraryHook();
    WriteDelayHook();
    ConsoleEventHook();
#endif
}

void TestRunAccountHook(RunAccount *account)
{
#ifdef LAUNCHER_TEST_HOOKS
    const char *kind = getenv("LAUNCHER_TEST_TOKEN");
    if (kind == nullptr || *kind == '\0') return;
    for (RunElevation elevation :
         {RunElevation::Limited, RunElevation::Elevated, RunElevation::System})
        if (strcmp(kind, ElevationName(elevation)) == 0)
            *account = RunAccountAs(*account, elevation);
#else
    (void)account;
#endif
}

void TestFreeSpaceHook(uint64_t *available)
{
#ifdef LAUNCHER_TEST_HOOKS
    const char *figure = getenv("LAUNCHER_TEST_FREE_BYTES");
    if (figure != nullptr && *figure != '\0') *available = strtoull(figure, nullptr, 10);
#else
    (void)available;
#endif
}
