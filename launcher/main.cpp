// Entry points. setup (GUI subsystem) starts at WinMain and records its
// instance handle for the status window; conrun (console subsystem) starts at
// main and sends all output to the console. Both hand their arguments on.
#include "launcher/launch_sequence.h"
#include "ui/output.h"

#include <windows.h>
#include <cstdlib>

// The MinGW start-up code calls main whenever a program defines one, GUI
// subsystem or not, so each program must define only its own entry point.
#ifdef LAUNCHER_CONSOLE_ENTRY
int main(int argc, char **argv)
{
    SetPrintToConsole(1);
    return _main(argc, argv);
}
#else
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    AppInstance = instance;
    return _main(__argc, __argv);
}
#endif
