// Entry points. setup (GUI subsystem) starts at WinMain and records its
// instance handle for the status window; conrun (console subsystem) starts at
// main and sends all output to the console. Both hand their arguments on.
//
// Before anything else, both restrict where DLLs are looked for by name: an
// installer usually runs from a download folder, where a DLL planted under a
// system DLL's name would otherwise be found first, beside the program.
#include "launcher/build_variant.h"
#include "launcher/launch_sequence.h"
#include "ui/output.h"

#include <windows.h>
#include <cstdlib>

namespace {

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

// Every later load by name searches the system directory alone. The call is
// looked up at run time: systems without it (before Windows 7 with its update)
// keep their own search order. The programs this launcher starts are named
// by full path and are not affected.
void RestrictDllSearch()
{
    using SetDirectories = BOOL(WINAPI *)(DWORD);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (kernel == nullptr) return;
    auto set = reinterpret_cast<SetDirectories>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (set != nullptr) set(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

} // namespace

// The MinGW start-up code calls main whenever a program defines one, GUI
// subsystem or not, so each program must define only its own entry point.
#ifdef LAUNCHER_CONSOLE_ENTRY
int main(int argc, char **argv)
{
    RestrictDllSearch();
    TestStartHooks();
    SetPrintToConsole(1);
    return _main(argc, argv);
}
#else
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    RestrictDllSearch();
    TestStartHooks();
    AppInstance = instance;
    return _main(__argc, __argv);
}
#endif
