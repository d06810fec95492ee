// Allocation that never returns null: the launcher cannot do anything useful
// without memory, so running out ends the process through exit(1), which
// still runs the exit handlers (the instance lock is released).
#ifndef BASE_MEMORY_H
#define BASE_MEMORY_H

#include <cstddef>

// A block of `size` bytes from malloc. On failure prints "Out of memory" with
// perror and ends the process with exit(1). Release with free().
void *MemAlloc(size_t size);

// A copy of `text` made with MemAlloc. Release with free().
char *StrDup(const char *text);

#endif
