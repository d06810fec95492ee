// Ctrl+C, Ctrl+Break, closing the console window, logoff and shutdown.
//
// Before the wizard starts, such an event stops the run: the launch sequence
// asks StopRequested() after each of its steps, and a stopped run removes its
// working directory and ends with status 1. A step under way (an extraction,
// a runtime's version check) is finished first. Once the wizard runs, the
// event is the wizard's, which shares the console and receives it too: the
// launcher waits for the wizard to end and cleans up as after any run.
#ifndef LAUNCHER_CONSOLE_CONTROL_H
#define LAUNCHER_CONSOLE_CONTROL_H

#include <windows.h>

// Installs OnConsoleControl for this process. Works without a console too:
// the handler applies once one is attached or allocated.
void InstallConsoleControlHandler();

// Logoff and shutdown reach a process that loads user32, or has no console,
// as window messages instead of console events. For such a process (setup,
// unless it prints into its parent's console) this starts a thread with a
// hidden top-level window that answers WM_ENDSESSION as the handler answers CTRL_LOGOFF_EVENT
// and CTRL_SHUTDOWN_EVENT (the session waits, within the system's limit,
// while the run stops and cleans up, or the wizard ends). Returns once the
// window is made (or could not be), a few seconds at most.
void StartEndSessionWindow();

// True once an event has asked the run to stop before the wizard started.
bool StopRequested();

// Called just before the wizard starts. True when it may start: no stop has
// been asked for, and from now on every event is left to the wizard. False
// when a stop came first.
bool StartingWizard();

// The handler. Ctrl+C and Ctrl+Break are answered as handled: the run stops
// at its next step, or the wizard deals with them. For closing, logoff and
// shutdown the system ends the process as soon as the handler returns, so
// it does not return: it waits until the main thread has finished (stopped,
// or cleaned up after the wizard) and ended the process.
BOOL WINAPI OnConsoleControl(DWORD event);

// Test builds watch the handler through these; null in the shipped programs.
// Called with each event the handler receives, and when the hidden window
// receives the session's end.
extern void (*ConsoleEventSeen)(unsigned long event);
extern void (*EndSessionSeen)();

// Takes the phase back to where a process starts it (no stop asked for, the
// wizard not started), for tests that play more than one run in a process.
void ResetConsoleControl();

#endif
