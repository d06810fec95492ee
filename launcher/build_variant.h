// Hooks that only the test variant of the programs gives a body.
#ifndef LAUNCHER_BUILD_VARIANT_H
#define LAUNCHER_BUILD_VARIANT_H

// In test builds, raises a fault when the environment asks for one at
// `point`; in the shipped programs it does nothing.
void TestFaultHook(const char *point);

#include <cstdint>

// In test builds, LAUNCHER_TEST_FREE_BYTES=<n> replaces the free-space figure
// of the working directory's disk; in the shipped programs it does nothing.
void TestFreeSpaceHook(uint64_t *available);

#endif
