// Hooks that only the test variant of the programs gives a body.
#ifndef LAUNCHER_BUILD_VARIANT_H
#define LAUNCHER_BUILD_VARIANT_H

// In test builds, raises a fault when the environment asks for one at
// `point`, or holds the run there until a console control event asks it to
// stop; in the shipped programs it does nothing.
void TestFaultHook(const char *point);

// The hooks a test build looks at first thing; the shipped programs do
// nothing here. LAUNCHER_TEST_LOAD_LIBRARY=<name> loads that DLL by name,
// prints the path of the module that came (or "not loaded") on standard
// output and ends the process with 0. LAUNCHER_TEST_WRITE_DELAY_MS=<n> makes
// every block the extraction writes wait n milliseconds first, so that a
// test can watch the progress measure move on any machine.
void TestStartHooks();

// In test builds, prints "console control event <n>" on standard output
// when the console control handler receives event n, so a test knows it
// arrived; in the shipped programs it does nothing.
void TestConsoleControlHook(unsigned long event);

// In test builds, prints "end-session message" on standard output when the
// hidden window receives WM_ENDSESSION for an ending session.
void TestEndSessionHook();

#include <cstdint>

// In test builds, LAUNCHER_TEST_FREE_BYTES=<n> replaces the free-space figure
// of the working directory's disk; in the shipped programs it does nothing.
void TestFreeSpaceHook(uint64_t *available);

#endif
