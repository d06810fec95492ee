// Pieces of the launch sequence that the tests reach on their own; callers
// use _main.
#ifndef LAUNCHER_LAUNCH_SEQUENCE_INTERNAL_H
#define LAUNCHER_LAUNCH_SEQUENCE_INTERNAL_H

#include <cstdint>
#include <string>

// The free bytes available to this user on the disk of `directory`. False
// when the system cannot tell.
bool FreeBytesAvailable(const char *directory, uint64_t *available);

#endif
