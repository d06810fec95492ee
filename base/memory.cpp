#include "base/memory.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

void ExitOutOfMemory()
{
    perror("Out of memory");
    exit(1);
}

void *MemAlloc(size_t size)
{
    void *block = malloc(size);
    if (block == nullptr) ExitOutOfMemory();
    return block;
}

char *StrDup(const char *text)
{
    size_t size = strlen(text) + 1;
    char *copy = static_cast<char *>(MemAlloc(size));
    memcpy(copy, text, size);
    return copy;
}
