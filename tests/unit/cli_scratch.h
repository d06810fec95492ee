// The command-line tests' scratch directory, and the formatting of catalogue
// texts as the launcher prints them.
#ifndef TESTS_UNIT_CLI_SCRATCH_H
#define TESTS_UNIT_CLI_SCRATCH_H

#include "scratch_tree.h"
#include "ui/catalogue.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

// The command-line tests' scratch directory.
using CliScratch = ScratchTree;

// The catalogue text of `key` formatted with `args`, as _fprintf prints it.
template <typename... Args> std::string CatalogueText(const char *key, Args... args)
{
    char *format = GetLocalizedMessage(key);
    int length = snprintf(nullptr, 0, format, args...);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    snprintf(&text[0], text.size(), format, args...);
    text.resize(static_cast<size_t>(length));
    free(format);
    return text;
}

#endif
