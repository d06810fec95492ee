// Hooks that only the test variant of the programs gives a body.
#ifndef LAUNCHER_BUILD_VARIANT_H
#define LAUNCHER_BUILD_VARIANT_H

// In test builds, raises a fault when the environment asks for one at
// `point` (LAUNCHER_TEST_FAULT=<point>), or holds the run there until a
// console control event asks it to stop (<point>:pause), or until a line
// arrives on standard input (<point>:hold, which prints "held at <point>"
// and then goes on); in the shipped programs it does nothing.
void TestFaultHook(const char *point);

// The hooks a test build looks at first thing; the shipped programs do
// nothing here. LAUNCHER_TEST_LOAD_LIBRARY=<name> loads that DLL by name,
// prints the path of the module that came (or "not loaded") on standard
// output and ends the process with 0. LAUNCHER_TEST_WRITE_DELAY_MS=<n> makes
// every block the extraction writes wait n milliseconds first, one block at
// a time whatever the number of workers, so that a test can watch the
// progress measure move on any machine. The console
// control handler then prints "console control event <n>" when it receives
// event n, and the hidden window "end-session message" when it receives
// WM_ENDSESSION for an ending session (ConsoleEventSeen, EndSessionSeen).
// LAUNCHER_TEST_CONSOLE_EVENT=<path>:<event> delivers a console event once
// <path> exists, as the system would.
void TestStartHooks();

#include "base/file_safety.h"

#include <cstdint>

// In test builds, LAUNCHER_TEST_TOKEN=limited|elevated|system makes the run
// judge its token as that kind (RunAccountAs): under Wine every process is
// the full half of a token whose other half is as privileged, so this is
// how a test shows what an elevated or SYSTEM run on Windows does. The
// shipped programs take the token as it is.
void TestRunAccountHook(RunAccount *account);

// In test builds, LAUNCHER_TEST_FREE_BYTES=<n> replaces the free-space figure
// of the working directory's disk; in the shipped programs it does nothing.
void TestFreeSpaceHook(uint64_t *available);

#endif
