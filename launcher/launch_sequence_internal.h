// Pieces of the launch sequence that the tests reach on their own; callers
// use _main.
#ifndef LAUNCHER_LAUNCH_SEQUENCE_INTERNAL_H
#define LAUNCHER_LAUNCH_SEQUENCE_INTERNAL_H

#include <cstdint>
#include <string>

// The "-Djava.class.path=" option: for a development kit its tools.jar and
// classes first, then the application home, then each build-time element
// appended to the home. Of the ";"-separated entries of an element, every
// later one that begins with a single backslash (or slash) is appended to
// the home too, so no entry names the root of the current drive.
std::string ClasspathOption(const char *home, const char *const *elements, int count,
                            const char *runtimePath, bool isJdk);

// The free bytes available to this user on the disk of `directory`. False
// when the system cannot tell.
bool FreeBytesAvailable(const char *directory, uint64_t *available);

#endif
