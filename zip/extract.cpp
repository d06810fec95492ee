// Implementation notes.
//
// The calling thread walks the entries in order: it reads each local header,
// checks the name, makes the directories and hands the file to a worker,
// which reads the data by positioned reads through a descriptor of its own
// and writes the file. Everything whose order matters (refusals, directories,
// replacing a file that stands where a directory goes) thus happens in the
// archive's order on one thread; the workers only write files that nothing
// else touches at the time. Two things could still make the order of writing
// show: two entries that name one file (Windows compares names without case,
// and an 8.3 alias such as ABCDEF~1.TXT names a long name's file), and a
// directory made where a file is still being written. The walk keeps the
// files in flight by a folded key and waits for the workers before it
// touches one of them again; a name with a "~" is written alone, with no
// other file in flight. Two names are one when the system's upper-case
// table makes them one (base/mbcs.h FileNameKey).
//
// Paths are UTF-8 here (the file seam's form): the destination is converted
// once, and every name is taken as UTF-8 when its entry says so (flag bit
// 11) and converted from the launcher's code page otherwise. So a Unicode
// name is written as it is whatever the ANSI code page, and every name rule
// judges the decoded name. In UTF-8 no byte of a character beyond ASCII is
// a separator, so the cuts below are plain byte searches.
//
// Entries are taken under the names zipExtractionName gives them, so that
// "./a.jar" (tar) and "dir\\a.jar" (older Windows archivers) land where
// "a.jar" and "dir/a.jar" do; the prefix is compared with those names too.
//
// The output path is "<destination>/<name>" in one buffer. The walk cuts it
// at each "/", makes sure that directory
// exists, then turns the "/" into the platform's separator and goes on; the
// first cut is the destination itself. Directories made once are
// remembered, so an entry in a known directory costs no file call for it.
// Both sets are cleared after a few thousand names (with the workers waited
// for), which keeps memory flat whatever the payload.
//
// The names come from the archive, so a name that would climb out of the
// destination, or that Windows would write under another name or as a
// device, is refused before any directory is made for it; and every
// directory and file, before it is touched, must have a full path (as the
// system resolves it) below the destination's.
#include "zip/extract.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_set>

#include "base/mbcs.h"
#include "base/workers.h"
#include "zip/entry_data.h"
#include "zip/entry_name.h"
#include "zip/fileio.h"

namespace {

#ifdef _WIN32
const char kSeparator = '\\';
#else
const char kSeparator = '/';
#endif
// The code page of every path and name here.
const unsigned kUtf8CodePage = 65001;

// Names remembered (directories made, files in flight) before the sets are
// cleared.
const size_t kRememberedNames = 4096;
// Files queued per worker: enough to keep them busy while the walk reads
// the next local headers.
const int kQueuedPerWorker = 4;

// One extraction's shared part.
struct Extraction {
    int archiveFd;                      // the workers' descriptor
    std::atomic<bool> failed{false};
    std::atomic<uint64_t> *written;     // uncompressed bytes written, or null
};

// One file for a worker: the entry's numbers and where it goes.
struct FileJob {
    Extraction *extraction;
    ZipEntry entry;
    std::string path;
};

void WriteFile(void *task)
{
    FileJob *job = static_cast<FileJob *>(task);
    Extraction *extraction = job->extraction;
    if (!extraction->failed.load() &&
        !zipWriteEntryFrom(extraction->archiveFd, &job->entry, job->path.c_str(), extraction->written))
        extraction->failed.store(true);
    delete job;
}

int ExtractionWorkers()
{
#ifdef ZIP_SERIAL_EXTRACTION
    return 0;
#else
    return WorkerCount(kMaxWorkers);
#endif
}

// The files handed out and not yet known to be written.
// Paths are kept by the key under which Windows takes two names for one
// (FileNameKey), asked of the system: folding case by hand misses pairs such
// as "Ł"/"ł" or full-width letters.
class InFlight {
public:
    InFlight(WorkerPool &pool, unsigned codePage) : pool_(pool), codePage_(codePage) {}

    // Waits for the workers when `path` may name a file in flight.
    void Touching(const char *path)
    {
        if (!files_.empty() && files_.count(FileNameKey(path, codePage_)) != 0) Settle();
    }
    void Add(const char *path)
    {
        if (files_.size() >= kRememberedNames) Settle();
        files_.insert(FileNameKey(path, codePage_));
    }
    // Waits until every file handed out is written.
    void Settle()
    {
        pool_.Wait();
        files_.clear();
    }

private:
    WorkerPool &pool_;
    unsigned codePage_;
    std::unordered_set<std::wstring> files_;
};

// True when the full path of `path` lies below `root` (a full path): the
// last check before anything is made or written there, whatever the name
// checks let through.
bool LiesBelow(const char *path, const std::string &root)
{
    const std::string full = fileFullPath(path);
    std::string prefix = root;
    if (prefix.empty() || prefix.back() != kSeparator) prefix += kSeparator;
    return full.size() > prefix.size() && full.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

bool UnzipFiles(ZipArchive *zip, const char *ansiDestination, const char *prefix, const char *except,
                ExtractionCounts *counts, std::atomic<uint64_t> *written)
{
    ExtractionCounts ignored;
    if (counts == nullptr) counts = &ignored;
    *counts = ExtractionCounts();
    if (zip == nullptr || ansiDestination == nullptr) return false;
    const std::string seamDestination = fileSeamPath(ansiDestination);
    const char *destination = seamDestination.c_str();

    // The workers read through a descriptor of their own: positioned reads
    // there cannot move the position that the local-header reads here use.
    // Without one the files are written here, one after another.
    Extraction extraction;
    extraction.written = written;
    int workers = ExtractionWorkers();
    int ownFd = -1;
    if (workers > 0 && zip->entryCount > 1) ownFd = fileOpen(zip->archivePath, FILEIO_RDONLY | FILEIO_BINARY, 0);
    if (ownFd < 0) workers = 0;
    extraction.archiveFd = ownFd >= 0 ? ownFd : zip->fd;
    const std::string root = fileFullPath(destination);
    bool ok = !root.empty() && (*ansiDestination == '\0' || !seamDestination.empty());
    if (ok) {
        WorkerPool pool(workers, workers * kQueuedPerWorker);
        counts->workers = pool.Threads();
        const unsigned codePage = LauncherCodePage();
        InFlight inFlight(pool, kUtf8CodePage);
        std::unordered_set<std::string> directories;
        std::string path;
        std::string name;
        std::string utf8;
        const size_t destinationLength = strlen(destination);
        const size_t prefixLength = prefix != nullptr ? strlen(prefix) : 0;
        const size_t exceptLength = except != nullptr ? strlen(except) : 0;

        for (int n = 0; n < zip->entryCount && !extraction.failed.load(); ++n) {
            ZipEntry *entry = zipGetNextEntry(zip, n);
            if (entry == nullptr) {
                ok = false;
                break;
            }
            // Selected by the name it is extracted under; a name that has
            // none (not valid UTF-8, or not safe) is selected by its own
            // bytes, and refused.
            const bool safe = zipEntryNameUtf8(entry->entryName, entry->flags, codePage, &utf8) &&
                              zipExtractionName(utf8.c_str(), kUtf8CodePage, &name);
            if (!safe) name = entry->entryName;
            const bool passedOver = except != nullptr && name.compare(0, exceptLength, except) == 0;
            if ((prefix != nullptr && name.compare(0, prefixLength, prefix) != 0) || passedOver ||
                (safe && name.empty())) {
                if (passedOver) counts->passedOver++;
                zipFreeEntry(zip, entry);
                continue;
            }
            if (!safe) {
                zipFreeEntry(zip, entry);
                ok = false;
                break;
            }
            // An 8.3 alias may name any file: written with no other in flight.
            const bool alone = name.find('~') != std::string::npos;
            if (alone) inFlight.Settle();

            path.assign(destination, destinationLength);
            path += '/';
            path += name;
            char *text = &path[0];
            bool isDirectory = false;
            bool outside = false;
            for (char *slash = strchr(text + destinationLength, '/'); slash != nullptr;
                 slash = strchr(slash + 1, '/')) {
                *slash = '\0';
                if (directories.count(text) == 0) {
                    // The first cut is the destination itself.
                    if (slash != text + destinationLength && !LiesBelow(text, root)) {
                        outside = true;
                        break;
                    }
                    inFlight.Touching(text);
                    if (fileKind(text) == FILE_KIND_FILE) fileUnlink(text);
                    fileMakeDirectory(text);
                    if (directories.size() >= kRememberedNames) directories.clear();
                    directories.insert(text);
                }
                if (slash[1] == '\0') {
                    isDirectory = true;
                    break;
                }
                *slash = kSeparator;
            }
            if (outside || (!isDirectory && !LiesBelow(text, root))) {
                zipFreeEntry(zip, entry);
                ok = false;
                break;
            }
            if (!isDirectory) {
                inFlight.Touching(text);
                counts->files++;
                FileJob *job = new FileJob{&extraction, *entry, text};
                job->entry.entryName = nullptr;
                job->entry.extraField = nullptr;
                job->entry.entryComment = nullptr;
                if (alone) {
                    WriteFile(job);
                } else {
                    inFlight.Add(text);
                    pool.Submit(WriteFile, job);
                }
            }
            zipFreeEntry(zip, entry);
        }
        // The pool waits for every file before it goes.
    }
    if (ownFd >= 0) fileClose(ownFd);
    return ok && !extraction.failed.load();
}
