// Allocation that never returns null: the launcher cannot do anything useful
// without memory, so running out ends the process through exit(1), which
// still runs the exit handlers (the instance lock is released).
#ifndef BASE_MEMORY_H
#define BASE_MEMORY_H

#include <cstddef>

// Prints "Out of memory" with perror and ends the process with exit(1). Also
// the new-handler of the launcher's C++ code (std::set_new_handler), so that
// an allocation failing inside std::string or std::vector ends the same way
// instead of in the runtime's abort.
[[noreturn]] void ExitOutOfMemory();

// A block of `size` bytes from malloc. On failure prints "Out of memory" with
// perror and ends the process with exit(1). Release with free().
void *MemAlloc(size_t size);

// A copy of `text` made with MemAlloc. Release with free().
char *StrDup(const char *text);

#endif
