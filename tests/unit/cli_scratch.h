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
#include <utility>

// The command-line tests' scratch directory.
using CliScratch = ScratchTree;

// `text` with "{root}" (or "{cwd}") replaced by `root`, "{drive}" by its
// drive ("C:") and "{rooted}" by its path without the drive ("\\...").
inline std::string Expand(std::string text, const std::string &root)
{
    const std::pair<std::string, std::string> fields[] = {{"{root}", root},
                                                          {"{cwd}", root},
                                                          {"{drive}", root.substr(0, 2)},
                                                          {"{rooted}", root.substr(2)}};
    for (const auto &field : fields) {
        size_t at;
        while ((at = text.find(field.first)) != std::string::npos)
            text.replace(at, field.first.size(), field.second);
    }
    return text;
}

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
