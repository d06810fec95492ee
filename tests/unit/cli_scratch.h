// The command-line tests' scratch directory, and the catalogue texts they
// must print, formatted as the launcher prints them.
#ifndef TESTS_UNIT_CLI_SCRATCH_H
#define TESTS_UNIT_CLI_SCRATCH_H

#include "expected_text.h"
#include "scratch_tree.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

// The command-line tests' scratch directory.
using CliScratch = ScratchTree;

// The English text `key` must have, formatted with `args` as _fprintf
// prints it (the tests run under an English locale).
template <typename... Args> std::string CatalogueText(const char *key, Args... args)
{
    std::string format = expected::Text("en", key);
    int length = snprintf(nullptr, 0, format.c_str(), args...);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    snprintf(&text[0], text.size(), format.c_str(), args...);
    text.resize(static_cast<size_t>(length));
    return text;
}

#endif
