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
// Nothing is made by whole path. The destination is opened once (it is the
// caller's), and each directory of a name is opened, or made, as one name
// below its parent's descriptor; files are created below their directory's
// descriptor (fileOpenDirectory, fileCreateFile: never through a link). So a
// component swapped for a link, before or during the extraction, redirects
// no write: a directory already made is reached through the descriptor held
// on it, and a link found where a directory goes is refused. Descriptors of
// the directories in use are kept by the name's directory part, so an entry
// in a known directory costs no directory call; the files in flight hold
// them, so they are closed only with the workers waited for, a few hundred
// at a time, which keeps descriptors and memory flat whatever the payload.
//
// The names come from the archive, so a name that would climb out of the
// destination, or that Windows would write under another name or as a
// device, is refused before any directory is made for it; below a
// descriptor, one component at a time, the rest cannot climb either.
#include "zip/extract.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "base/mbcs.h"
#include "base/workers.h"
#include "zip/entry_data.h"
#include "zip/entry_name.h"
#include "zip/fileio.h"

void (*zipTestEvent)(ZipTestEvent event, int number) = nullptr;

namespace {

// The code page of every path and name here.
const unsigned kUtf8CodePage = 65001;

// Names of files in flight remembered before the workers are waited for.
const size_t kRememberedNames = 4096;
// Directory descriptors held before the workers are waited for and they are
// closed.
const size_t kHeldDirectories = 256;
// Files queued per worker: enough to keep them busy while the walk reads
// the next local headers.
const int kQueuedPerWorker = 4;

// One extraction's shared part.
struct Extraction {
    int archiveFd;                      // the workers' descriptor
    // The first entry (by its number) whose file could not be written; the
    // entry count while none failed. Files of earlier entries are still
    // written, as one after another would have; later ones are not.
    std::atomic<int> firstFailure;
    std::atomic<uint64_t> *written;     // uncompressed bytes written, or null

    bool Failed(int entryCount) const { return firstFailure.load() < entryCount; }
    void Fail(int entry)
    {
        int before = firstFailure.load();
        while (entry < before && !firstFailure.compare_exchange_weak(before, entry)) {
        }
    }
};

// One file for a worker: the entry's numbers and where it goes.
// The numbers of `entry` that writing its data takes (zipWriteEntryTo),
// without the texts it owns or borrows: a worker writes it after the walk has
// freed the entry itself.
ZipEntry NumbersOf(const ZipEntry &entry)
{
    ZipEntry numbers = entry;
    numbers.entryName = nullptr;
    numbers.entryComment = nullptr;
    numbers.extraField = nullptr;
    return numbers;
}

struct FileJob {
    Extraction *extraction;
    int number;         // the entry's number in the archive
    ZipEntry entry;     // its numbers alone (NumbersOf)
    int directory;      // held by the walk until the workers are idle
    std::string name;   // one component
};

void WriteFile(void *task)
{
    FileJob *job = static_cast<FileJob *>(task);
    Extraction *extraction = job->extraction;
    if (zipTestEvent != nullptr) zipTestEvent(ZipTestEvent::FileTaken, job->number);
    // A failure of a later entry leaves this one to be written.
    if (job->number < extraction->firstFailure.load()) {
        const int fd = fileCreateFile(job->directory, job->name.c_str(), job->entry.uncompressedSize);
        bool ok = fd >= 0 && zipWriteEntryTo(extraction->archiveFd, &job->entry, fd, extraction->written);
        if (fd >= 0 && fileClose(fd) != 0) ok = false;
        if (!ok) extraction->Fail(job->number);
    }
    if (zipTestEvent != nullptr) zipTestEvent(ZipTestEvent::FileDone, job->number);
    delete job;
}

// Two workers a processor, kMaxWorkers at most: a worker waits for the
// system to make, fill and close its files about as long as it decodes
// (under Wine each of those calls is a round trip to the server), and the
// other one decodes meanwhile. With one a processor, two workers on two
// processors took 1.09 times as long on the reference payload.
int ExtractionWorkers()
{
#ifdef ZIP_SERIAL_EXTRACTION
    return 0;
#else
    return 2 * WorkerCount(kMaxWorkers / 2);
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
    void Touching(const std::string &path)
    {
        if (!files_.empty() && files_.count(FileNameKey(path.c_str(), codePage_)) != 0) {
            if (zipTestEvent != nullptr) zipTestEvent(ZipTestEvent::WalkWaits, -1);
            Settle();
        }
    }
    void Add(const std::string &path)
    {
        if (files_.size() >= kRememberedNames) Settle();
        files_.insert(FileNameKey(path.c_str(), codePage_));
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

// The descriptors of the directories in use, by their names below the
// destination ("" for the destination itself, "a/b" for a name's directory
// part).
class Directories {
public:
    Directories(const char *destination, InFlight &inFlight)
        : destination_(destination), inFlight_(inFlight) {}
    ~Directories() { CloseAll(); }
    Directories(const Directories &) = delete;
    Directories &operator=(const Directories &) = delete;

    // The descriptor of the directory `path` ("" or a name's directory part,
    // without the final "/"), made along with the directories above it as
    // needed; -1 when one cannot be made or a link stands in its way.
    int Open(const std::string &path)
    {
        if (held_.size() >= kHeldDirectories && held_.count(path) == 0) {
            inFlight_.Settle();
            CloseAll();
        }
        return OpenHeld(path);
    }

private:
    // Open without closing any: the callers above hold their parents'.
    int OpenHeld(const std::string &path)
    {
        auto known = held_.find(path);
        if (known != held_.end()) return known->second;
        int fd = -1;
        if (path.empty()) {
            fd = fileOpenDirectory(-1, destination_);
        } else {
            const size_t cut = path.rfind('/');
            const int parent = OpenHeld(cut == std::string::npos ? std::string() : path.substr(0, cut));
            if (parent < 0) return -1;
            // A file of this name may still be written.
            inFlight_.Touching(path);
            fd = fileOpenDirectory(parent, path.c_str() + (cut == std::string::npos ? 0 : cut + 1));
        }
        if (fd >= 0) held_.emplace(path, fd);
        return fd;
    }

    void CloseAll()
    {
        for (const auto &item : held_) fileClose(item.second);
        held_.clear();
    }

    const char *destination_;
    InFlight &inFlight_;
    std::unordered_map<std::string, int> held_;
};

} // namespace

std::unique_ptr<WorkerPool> MakeExtractionPool()
{
    const int workers = ExtractionWorkers();
    return std::unique_ptr<WorkerPool>(new WorkerPool(workers, workers * kQueuedPerWorker));
}

bool UnzipFiles(ZipArchive *zip, const char *ansiDestination, const char *prefix,
                const ExtractionSettings &settings, ExtractionCounts *counts)
{
    const char *const except = settings.except;
    bool (*const stopRequested)() = settings.stopRequested;
    WorkerPool *const shared = settings.pool;
    ExtractionCounts ignored;
    if (counts == nullptr) counts = &ignored;
    *counts = ExtractionCounts();
    if (zip == nullptr || ansiDestination == nullptr) return false;
    const std::string destination = fileSeamPath(ansiDestination);
    if (*ansiDestination != '\0' && destination.empty()) return false;

    // Every read of an open archive names its position (fileReadAt), so the
    // workers read entry data through the archive's own descriptor while the
    // local headers are read here.
    Extraction extraction;
    extraction.firstFailure.store(zip->entryCount);
    extraction.written = settings.written;
    const int workers =
        zip->entryCount <= 1 ? 0 : shared != nullptr ? shared->Threads() : ExtractionWorkers();
    extraction.archiveFd = zip->fd;
    bool ok = true;
    {
        std::unique_ptr<WorkerPool> own;
        WorkerPool *pool = workers > 0 ? shared : nullptr;
        if (pool == nullptr) {
            own.reset(new WorkerPool(workers, workers * kQueuedPerWorker));
            pool = own.get();
        }
        counts->workers = pool->Threads();
        const unsigned codePage = LauncherCodePage();
        InFlight inFlight(*pool, kUtf8CodePage);
        Directories directories(destination.c_str(), inFlight);
        std::string name;
        const size_t prefixLength = prefix != nullptr ? strlen(prefix) : 0;
        const size_t exceptLength = except != nullptr ? strlen(except) : 0;
        const bool selective = prefix != nullptr || except != nullptr;
        std::string central;
        // What becomes of an entry extracted under `name`: taken, left (out
        // of the prefix, or a name such as "./" that names no file) or
        // passed over as extracted before.
        enum class Choice { Take, Leave, PassOver };
        auto Choose = [&](const std::string &candidate, bool safe) {
            if (except != nullptr && candidate.compare(0, exceptLength, except) == 0) return Choice::PassOver;
            if (prefix != nullptr && candidate.compare(0, prefixLength, prefix) != 0) return Choice::Leave;
            return safe && candidate.empty() ? Choice::Leave : Choice::Take;
        };

        for (int n = 0; n < zip->entryCount && !extraction.Failed(zip->entryCount); ++n) {
            if (stopRequested != nullptr && stopRequested()) {
                counts->stopped = true;
                ok = false;
                break;
            }
            // A walk that takes some entries by name judges each by its
            // central name first, so the others cost no local header (the
            // runtime's entries of a large payload, or the rest of it).
            if (selective && zipCentralName(zip, n, &central) &&
                zipEntryExtractionName(central.c_str(), zip->entryIndex[n].flags, codePage, &name)) {
                const Choice choice = Choose(name, true);
                if (choice != Choice::Take) {
                    if (choice == Choice::PassOver) counts->passedOver++;
                    continue;
                }
            }
            ZipEntry *entry = zipGetNextEntry(zip, n);
            if (entry == nullptr) {
                ok = false;
                break;
            }
            // Selected by the name it is extracted under; a name that has
            // none (not valid UTF-8, or not safe) is selected by its own
            // bytes, and refused.
            const bool safe =
                zipEntryExtractionName(entry->entryName, entry->flags, codePage, &name);
            if (!safe) name = entry->entryName;
            const Choice choice = Choose(name, safe);
            if (choice != Choice::Take) {
                if (choice == Choice::PassOver) counts->passedOver++;
                zipFreeEntry(zip, entry);
                continue;
            }
            if (!safe) {
                counts->refused = name;
                zipFreeEntry(zip, entry);
                ok = false;
                break;
            }
            // An 8.3 alias may name any file: written with no other in flight.
            const bool alone = name.find('~') != std::string::npos;
            if (alone) {
                if (zipTestEvent != nullptr) zipTestEvent(ZipTestEvent::WalkWaits, -1);
                inFlight.Settle();
            }

            const bool isDirectory = name.back() == '/';
            if (isDirectory) name.pop_back();
            const size_t cut = name.rfind('/');
            const int directory =
                directories.Open(isDirectory ? name : cut == std::string::npos ? std::string() : name.substr(0, cut));
            if (directory < 0) {
                counts->refused = name;
                zipFreeEntry(zip, entry);
                ok = false;
                break;
            }
            if (!isDirectory) {
                inFlight.Touching(name);
                counts->files++;
                FileJob *job = new FileJob{&extraction, n, NumbersOf(*entry), directory,
                                           name.substr(cut == std::string::npos ? 0 : cut + 1)};
                if (alone) {
                    WriteFile(job);
                } else {
                    inFlight.Add(name);
                    pool->Submit(WriteFile, job);
                }
            }
            zipFreeEntry(zip, entry);
        }
        // Every file written before its directory's descriptor is closed.
        inFlight.Settle();
    }
    zipReleaseDecoders();
    return ok && !extraction.Failed(zip->entryCount);
}
