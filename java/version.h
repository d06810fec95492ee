// Whether a Java runtime is of a supported version, and whether the extracted
// payload holds the installer wizard's main class.
#ifndef JAVA_VERSION_H
#define JAVA_VERSION_H

// The version prefixes the launcher accepts, in order of the table.
extern const char *const SupportedVersionPrefixes[];
extern const int SupportedVersionPrefixCount;

// True when `version` begins with an entry of SupportedVersionPrefixes
// ("1.5" to "1.9"). Plain prefix test: "1.50" passes, "1.10", "9" and "10" do
// not.
bool CheckVersion(const char *version);

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
// cannot stall. Prints nothing.
char *CheckJREVersion(const char *runtimePath);

// True when CheckJREVersion(runtimePath) yields a version.
bool CheckJavaVersion(const char *runtimePath);

// True when the application home holds a readable file named after the Java
// main class with ".class" appended, directly in that directory.
bool CheckJavaClassFile();

#endif
