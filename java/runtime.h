// Finding the Java runtime that runs the installer wizard: a directory the
// user named, the runtime the payload carries, or one registered by a Java
// installer under HKEY_LOCAL_MACHINE.
//
// A runtime directory is one whose bin holds java.dll, java.exe and
// javaw.exe. Runtime paths are 8-bit texts in the ANSI code page.
#ifndef JAVA_RUNTIME_H
#define JAVA_RUNTIME_H

#include "base/file_safety.h"
#include "base/trace.h"
#include "base/workers.h"
#include "java/runtime_directory.h"
#include "ui/progress_measure.h"

#include <windows.h>

#include <string>

// The payload a runtime search may take its runtime from, and what it
// took. The caller fills the first three fields and reads the last two.
struct ZipArchive;
struct PayloadRuntime {
    ZipArchive *archive = nullptr;      // the launcher's own archive, open; the caller keeps it
    bool (*stopRequested)() = nullptr;  // can end the extraction between files (UnzipFiles)
    WorkerPool *pool = nullptr;         // the workers that write it (MakeExtractionPool)
    ProgressMeasure *progress = nullptr;  // the run's measure its step shows (ui/progress.h)
    // Set when this search extracted the runtime and every entry under it
    // was written: where (the application home) and the entries' name prefix
    // ("package/jre"). A later extraction of the whole payload into the
    // same place passes those entries over.
    std::string extractedBelow;
    std::string extractedPrefix;
};

// The runtime the payload carries in <application home>\package\jre,
// extracted from payload->archive when it is not there yet (showing
// "unzipping_java_files"); with no payload (or no archive), only one
// extracted before counts. Cached once found; a failure leaves the cache
// empty so a later call tries again. Do not free; null when there is none,
// and when payload->stopRequested ended the extraction.
char *GetBundledJREPath(PayloadRuntime *payload, Trace &trace = NoTrace());

// <application home>\package, cached at the first call that has an
// application home. Do not free; null while there is no application home.
char *GetBundledLibraryPath();

// Searches for a runtime without user input and returns a fresh runtime path
// the caller frees, or null. Preference, first non-empty class wins: payload
// development kit, registered development kits, payload plain runtime,
// registered plain runtimes. Registrations are the subkeys of
// Software\JavaSoft\Java Development Kit and ...\Java Runtime Environment
// whose names CheckVersion accepts, with a JavaHome value that GetJREPath
// accepts; within a class the byte-wise greatest version wins, and among
// equal versions the one met last. Under WOW64 each key is read in the
// 32-bit view and then in the 64-bit view, so a 64-bit registration wins a
// tie. A build that accepts modern runtimes (AcceptsModernJava) also reads
// Software\JavaSoft\JDK and ...\JRE, after the two above, and compares
// versions numerically (CompareVersions). Beyond those keys (per-user
// vendor keys, JAVA_HOME, PATH), a run that `account` says is elevated or
// SYSTEM takes only a runtime the system's own put there (KeptBySystem of
// its folder, bin, java.exe, javaw.exe and java.dll), and examines that
// before it starts anything of it. `trace` gets every candidate with its
// source, path and version, and why it was taken or refused. `payload` goes
// to GetBundledJREPath (null: none); once its stopRequested says yes, the
// search ends with null.
char *GetPublicJREPath(const RunAccount &account, PayloadRuntime *payload,
                       Trace &trace = NoTrace());

#endif
