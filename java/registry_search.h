// Where registered runtimes are looked for: the JavaSoft keys (every build),
// then the other vendors' keys, JAVA_HOME and PATH (builds that accept
// modern runtimes). java/runtime.cpp chooses among what is found here and
// the payload's own runtime.
#ifndef JAVA_REGISTRY_SEARCH_H
#define JAVA_REGISTRY_SEARCH_H

#include "base/file_safety.h"
#include "base/trace.h"

#include <windows.h>

#include <string>
#include <vector>

// One runtime the search found. No version for the payload runtime.
struct RuntimeCandidate {
    std::string version;
    std::string path;
    std::string source;  // for the trace: the registry key and view
};

// The data of value `valueName` of the open key `key` as a fresh MemAlloc'd
// NUL-terminated text (a terminator is added after the data whatever its
// type), or null when the value cannot be read.
char *GetStringFromRegistry(HKEY key, const char *valueName);

// Adds every acceptable registration under the JavaSoft keys (Java
// Development Kit and Java Runtime Environment; JDK and JRE too when the
// build accepts modern runtimes), in every registry view, to the
// development kits or the plain runtimes, in the order read.
void CollectJavaSoftRuntimes(std::vector<RuntimeCandidate> &kits,
                             std::vector<RuntimeCandidate> &plain, Trace &trace);

// The candidate with the greatest version (CompareVersions, numeric when the
// build accepts modern runtimes); the later of equals; null when there is
// none.
const RuntimeCandidate *Best(const std::vector<RuntimeCandidate> &candidates);

// The places searched after the payload's runtime and the JavaSoft keys,
// in order: every vendor key (per machine, then per user; each in every
// view), JAVA_HOME, PATH. The first place with a runtime of a supported
// version gives it, the highest version there (the first of equals): a
// fresh text the caller frees, or null. A runtime that a place the user
// controls names is taken by an elevated or SYSTEM run only when the
// system's own put it there.
char *SearchOtherPlaces(Trace &trace, const RunAccount &account);

#endif
