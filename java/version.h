// Whether a Java runtime is of a supported version, and whether the extracted
// payload holds the installer wizard's main class.
#ifndef JAVA_VERSION_H
#define JAVA_VERSION_H

#include "base/trace.h"

// The version prefixes the launcher accepts, in order of the table.
extern const char *const SupportedVersionPrefixes[];
extern const int SupportedVersionPrefixCount;

// True when `version` begins with an entry of SupportedVersionPrefixes
// ("1.5" to "1.9"). Plain prefix test: "1.50" passes, "1.10", "9" and "10" do
// not. With `acceptModern` a feature version of 9 or more is accepted too:
// digits worth at least 9, then the end or one of '.', '-', '+' ("9",
// "11.0.2", "17.0.10", "21-ea").
bool IsSupportedVersion(const char *version, bool acceptModern);

// IsSupportedVersion with what this build accepts (AcceptsModernJava).
bool CheckVersion(const char *version);

// Orders two supported version strings: negative, zero or positive as `a`
// is older than, as old as or newer than `b`. Byte-wise (strcmp) unless
// `numeric`; then by the numbers in them, each compared by value, with the
// leading "1." of the old scheme dropped, so 17 beats 11 beats 1.8.0_401
// and 1.5.0_10 beats 1.5.0_9; a version that extends another beats it.
int CompareVersions(const char *a, const char *b, bool numeric);

// The version string in a runtime's "-version" report `capture` (a MemAlloc'd
// text this call takes over): the text is cut at its first line feed and at
// its last double quote; when a quote is still left the result is a fresh
// copy of the text after it and `capture` is freed, otherwise `capture` as
// cut is the result. Never null; the caller frees the result.
char *VersionFromReport(char *capture);

// Runs "<runtimePath>\bin\javaw.exe" "-version" and returns the version its
// report gives on standard error (a MemAlloc'd text the caller frees) when
// CheckVersion accepts it; null when the runtime path does not exist, the
// pipes or the process cannot be created, or the version is not supported.
// Only the first 512 bytes of standard error are examined, after the child
// has ended; both output pipes are drained meanwhile so a talkative runtime
// cannot stall. Prints nothing; `trace` gets what was run, the version
// reported and the verdict.
char *CheckJREVersion(const char *runtimePath, Trace &trace = NoTrace());

// True when CheckJREVersion(runtimePath, trace) yields a version.
bool CheckJavaVersion(const char *runtimePath, Trace &trace = NoTrace());

// True when the application home holds a readable file named after the Java
// main class with ".class" appended, directly in that directory.
bool CheckJavaClassFile();

#endif
