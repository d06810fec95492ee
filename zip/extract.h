// Extracting an open archive below a directory.
#ifndef ZIP_EXTRACT_H
#define ZIP_EXTRACT_H

#include "base/workers.h"
#include "zip/archive.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

// What an extraction did: the files it handed out to be written, the
// entries it passed over for `except`, and the worker threads that wrote
// (0: all on the calling thread).
// `stopped`: a stop request ended it; `refused`: the entry name refused, as
// it is extracted, when a name is not safe or a link stands in its way.
struct ExtractionCounts {
    int files = 0;
    int passedOver = 0;
    int workers = 0;
    bool stopped = false;
    std::string refused;
};

// How an extraction goes, beyond what and where; every field may stay null.
//   except         entries whose names begin with it are passed over (a part
//                  extracted before, such as the runtime)
//   written        grows by every uncompressed byte written, while the
//                  workers write (relaxed atomic adds on the writers'
//                  threads): a display on another thread may read it at any
//                  time. It is not reset, so one counter can measure several
//                  extractions.
//   stopRequested  asked before each entry: once it says yes, no further
//                  entry is started, the files handed out are finished, and
//                  the extraction returns false with ExtractionCounts::stopped
//   pool           the workers to write with (MakeExtractionPool); otherwise
//                  the extraction starts its own
struct ExtractionSettings {
    const char *except = nullptr;
    std::atomic<uint64_t> *written = nullptr;
    bool (*stopRequested)() = nullptr;
    WorkerPool *pool = nullptr;
};

// Extracts every entry of `zip` whose name, as it is extracted
// (zipExtractionName: "./" parts left out, "\\" read as "/"; UTF-8 where the
// entry says so, else in the launcher's code page, and written through the
// wide calls under its Unicode name either way), begins with `prefix` (all
// when prefix is null) below `destination` (in the ANSI code page),
// re-creating the directories the names describe; a file standing where a
// directory must go is replaced. `settings` may pass some entries over, count
// the bytes, stop it and lend it workers (ExtractionSettings). Returns true
// when every entry up to the archive's entry count was handled, false when
// one cannot be read or written, or a name is not safe (zipIsSafeName: it
// would land outside the destination or under another name; or a name
// flagged UTF-8 is not UTF-8), and when zip or destination is null. Every
// directory and file is made one name at a time below its parent's
// descriptor, never through a link: a link standing where a directory goes
// fails the extraction, one standing where a file goes is replaced. Files are
// written by a few worker threads at once (unless built with
// ZIP_SERIAL_EXTRACTION), with the result of writing them one after another:
// the same files and bytes, the later of two entries of one name winning.
// After a failure no later entry is started, while the files of earlier
// entries are all still written; nothing extracted is removed. The archive
// stays open. `counts`, when given, receives what the extraction did.
bool UnzipFiles(ZipArchive *zip, const char *destination, const char *prefix,
                const ExtractionSettings &settings = ExtractionSettings(),
                ExtractionCounts *counts = nullptr);

// The workers of an extraction, for several in turn: the payload's runtime
// and then the rest of the payload are written by the same threads, started
// once. (Built with ZIP_SERIAL_EXTRACTION: no threads.)
std::unique_ptr<WorkerPool> MakeExtractionPool();

// For the tests alone: when set, the extraction says what it is at, so that
// a test can order one thread's step after another's: a worker takes the
// file of entry `number` (before it looks at anything) and is through with
// it; the walk waits for the files in flight because the next name may
// touch one of them (`number` -1).
enum class ZipTestEvent { FileTaken, FileDone, WalkWaits };
extern void (*zipTestEvent)(ZipTestEvent event, int number);

#endif
