// What makes a directory a Java runtime, and a development kit's.
#ifndef JAVA_RUNTIME_DIRECTORY_H
#define JAVA_RUNTIME_DIRECTORY_H

#include "base/trace.h"

// The runtime path for `dir`: `dir` itself when dir\bin\java.dll is readable,
// else dir\jre when dir\jre\bin\java.dll is; then the chosen directory's
// bin\java.exe and bin\javaw.exe must both be readable (no fallback to jre
// once the first form matched). `dir` is taken verbatim, trailing backslash
// and all. A fresh MemAlloc'd text the caller frees, or null; `trace` gets
// the file whose absence refused the directory.
char *GetJREPath(const char *dir, Trace &trace = NoTrace());

// True when the runtime belongs to a development kit: lib\tools.jar lies in
// the runtime directory, or, when the path ends in exactly "\jre" (case
// matters), in its parent ("<path>\..\lib\tools.jar").
bool IsJDK(const char *runtimePath);

#endif
