// A run holds its working directory itself open, with read and write
// sharing but not delete sharing, from the moment the directory exists until
// the cleanup. Another process that opens the directory asking for DELETE
// access gets a sharing violation for as long as the run lives, and succeeds
// once the system has closed the handle, however the run ended (a crash, the
// task manager, a power cut before the next start). That is the sweep's
// proof, and it leaves the directory holding exactly the payload.
//
// The handle asks for FILE_LIST_DIRECTORY: a handle with attribute access
// alone takes part in no sharing check, and would deny nothing.
//
// The directory is created and opened in one call, below the temporary
// directory's handle, with a security descriptor of its own: only this
// run's user, the system account and the administrators may enter it,
// whatever the temporary directory lets others do (as SYSTEM that is
// C:\Windows\Temp, where every user may create). Its name is drawn at
// random, and a name that exists already is never opened: nobody can
// prepare the directory a run will use.
//
// Launchers of earlier versions proved the same with a marker file inside
// the directory, held open without delete sharing. A directory whose marker
// is held therefore stays as well: an earlier version's run that is still
// going keeps its files. A directory of a run that ended, with or without a
// marker, goes.
#include "launcher/working_directory.h"

#include "base/mbcs.h"
#include "base/memory.h"
#include "base/owned.h"
#include "base/path.h"
#include "base/workers.h"
#include "launcher/build_variant.h"
#include "launcher/tree_removal.h"
#include "base/file_safety.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

const char EarlierWorkingDirectoryMarker[] = "~launcher-run.lock";

namespace {

// What the sweep learns from a directory, or from an earlier version's
// marker in it.
enum class Liveness { Free, Held, Missing, Unknown };

// The suffix after the program's file name: process id and attempt in
// upper-case hexadecimal.
std::string Suffix(unsigned long unique, unsigned long serial)
{
    const char *format = "%lX_%lX";
    const int length = snprintf(nullptr, 0, format, unique, serial);
    std::string suffix(static_cast<size_t>(length) + 1, '\0');
    snprintf(&suffix[0], suffix.size(), format, unique, serial);
    suffix.resize(static_cast<size_t>(length));
    return suffix;
}

bool IsHexNumber(const std::string &digits)
{
    if (digits.empty() || digits.size() > 2 * sizeof(unsigned long)) return false;
    return digits.find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

const ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The longest directory path the path calls create: MAX_PATH less room for
// an 8.3 name and its backslash.
const size_t kLongestDirectoryPath = MAX_PATH - 12;

// Opens `name` in `parent` for deletion, sharing everything ourselves so
// that only a holder's share mode decides: Free with *opened set when no
// process holds it open without delete sharing, Held when one does.
Liveness Examine(HANDLE parent, const std::wstring &name, ACCESS_MASK access, ULONG options,
                 HANDLE *opened, DWORD *error)
{
    *opened = OpenBelow(parent, name.data(), name.size(), DELETE | access, FILE_OPEN, options,
                        kShareAll, nullptr, error);
    if (*opened != nullptr) return Liveness::Free;
    if (*error == ERROR_SHARING_VIOLATION) return Liveness::Held;
    if (*error == ERROR_FILE_NOT_FOUND || *error == ERROR_PATH_NOT_FOUND) return Liveness::Missing;
    return Liveness::Unknown;
}

// The temporary directory, opened to make or examine names in it.
HANDLE OpenTemporaryDirectory(const char *dir)
{
    return CreateFileW(WidenAnsi(dir).c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE, kShareAll, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

} // namespace

unsigned long RandomWorkingDirectoryNumber()
{
    // RtlGenRandom (advapi32's SystemFunction036) is looked up, not
    // imported: on current Windows it forwards to cryptbase.dll, which is
    // no known DLL, and an import would have the loader look for that
    // beside the program before the start restricted the search to the
    // system directory.
    using GenRandom = BOOLEAN(WINAPI *)(PVOID, ULONG);
    static const GenRandom genRandom = [] {
        HMODULE advapi = GetModuleHandleW(L"advapi32.dll");
        return advapi == nullptr ? nullptr
                                 : reinterpret_cast<GenRandom>(reinterpret_cast<void (*)()>(
                                       GetProcAddress(advapi, "SystemFunction036")));
    }();
    unsigned long number = 0;
    if (genRandom == nullptr || !genRandom(&number, sizeof number)) {
        // Not expected; the name is then merely unusual, and a name that
        // exists is still never taken.
        LARGE_INTEGER counter;
        QueryPerformanceCounter(&counter);
        number = static_cast<unsigned long>(counter.QuadPart) ^ GetCurrentProcessId();
    }
    return number;
}

std::string WorkingDirectoryName(const std::string &dir, const std::string &prefix,
                                 unsigned long unique, unsigned serial)
{
    return JoinPath(dir, prefix + Suffix(unique, serial));
}

bool IsWorkingDirectoryName(const std::string &name, const std::string &prefix)
{
    if (prefix.empty() || name.compare(0, prefix.size(), prefix) != 0) return false;
    const std::string suffix = name.substr(prefix.size());
    const size_t underscore = suffix.find('_');
    if (underscore == std::string::npos) return false;
    const std::string unique = suffix.substr(0, underscore);
    const std::string serial = suffix.substr(underscore + 1);
    if (!IsHexNumber(unique) || !IsHexNumber(serial)) return false;
    const unsigned long attempt = strtoul(serial.c_str(), nullptr, 16);
    if (attempt >= static_cast<unsigned long>(WorkingDirectoryAttempts)) return false;
    // Formatting the numbers again rules out leading zeros and lower case.
    return Suffix(strtoul(unique.c_str(), nullptr, 16), attempt) == suffix;
}

char *CreateWorkingDirectory(const char *dir, const char *prefix, const RunAccount &account,
                             HANDLE *hold, Trace &trace, unsigned long (*draw)())
{
    *hold = nullptr;
    OwnedHandle parent(OpenTemporaryDirectory(dir));
    std::string asked;
    OwnedLocal descriptor(NewPrivateDirectoryDescriptor(account, &asked));
    if (!parent.valid() || !descriptor.valid()) return nullptr;
    for (int serial = 0; serial < WorkingDirectoryAttempts; ++serial) {
        const std::string name = std::string(prefix) + Suffix(draw(), serial);
        const std::wstring wide = WidenAnsi(name.c_str());
        // The rest of the run names the directory by its path, through the
        // ANSI calls: a path they cannot take is refused before anything
        // is made, as CreateDirectory refuses one that leaves no room for a
        // short file name below it.
        if (JoinPath(dir, name).size() >= kLongestDirectoryPath) return nullptr;
        // Made and opened at once: no other process can put anything in
        // its place, nor take it over. The handle denies deletion, which
        // shows other runs' sweeps that this run is alive.
        DWORD error = 0;
        OwnedHandle held(OpenBelow(parent.get(), wide.data(), wide.size(),
                                   FILE_LIST_DIRECTORY | READ_CONTROL, FILE_CREATE,
                                   FILE_DIRECTORY_FILE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   descriptor.get(), &error));
        if (!held.valid()) {
            if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) continue;
            return nullptr;
        }
        // Made by this call: whatever the file system records as its owner
        // (Wine records the Unix user, and maps the entries onto the mode)
        // is what this run's own directory looks like.
        trace.Line("working directory: made with %s (%s account)", asked.c_str(),
                   ElevationName(account.elevation));
        trace.Line("working directory: reads back as %s", DescriptorText(held.get()).c_str());
        *hold = held.release();
        return StrDup(JoinPath(dir, name).c_str());
    }
    return nullptr;
}

void SweepStaleWorkingDirectories(const char *dir, const char *prefix, const RunAccount &account,
                                  Trace &trace, bool (*stopRequested)())
{
    if (dir == nullptr || prefix == nullptr || *prefix == '\0') return;

    // Listed first, examined and removed afterwards, so the listing is not
    // changed under way. The listing's own attributes say what an entry is:
    // a link is never followed, nor a file taken for a directory.
    std::vector<std::string> names;
    {
        const std::wstring pattern = WidenAnsi(JoinPath(dir, std::string(prefix) + "*").c_str());
        WIN32_FIND_DATAW found;
        OwnedFind listing(FindFirstFileW(pattern.c_str(), &found));
        if (!listing.valid()) return;
        do {
            // Runs name their directories in the ANSI code page: a name it
            // cannot spell is none of theirs.
            bool lossless = false;
            const std::string name = ToAnsi(found.cFileName, &lossless);
            if (!lossless || !IsWorkingDirectoryName(name.c_str(), prefix) ||
                !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                trace.Line("sweep: left %s: a link", JoinPath(dir, name).c_str());
                continue;
            }
            names.push_back(name);
        } while (FindNextFileW(listing.get(), &found));
    }

    OwnedHandle parent(OpenTemporaryDirectory(dir));
    if (!parent.valid()) return;
    const std::wstring marker = WidenAnsi(EarlierWorkingDirectoryMarker);
    for (const std::string &name : names) {
        const std::string path = JoinPath(dir, name);
        if (stopRequested != nullptr && stopRequested()) {
            trace.Line("sweep: stopped; what is left stays for a later run");
            return;
        }
        DWORD error = 0;
        HANDLE opened = nullptr;
        Liveness liveness = Examine(parent.get(), WidenAnsi(name.c_str()),
                                    FILE_LIST_DIRECTORY | READ_CONTROL, FILE_DIRECTORY_FILE,
                                    &opened, &error);
        OwnedHandle directory(opened);
        HandleFacts facts;
        if (liveness == Liveness::Free) {
            // Judged by the handle: what the listing showed may have been
            // swapped since.
            if (!FactsOf(directory.get(), &facts) ||
                (facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                trace.Line("sweep: left %s: a link, or it cannot be examined", path.c_str());
                continue;
            }
            const Ownership owner = OwnershipOf(directory.get(), account);
            if (owner == Ownership::Others) {
                trace.Line("sweep: left %s: another account owns it", path.c_str());
                continue;
            }
            if (owner == Ownership::Unknown) liveness = Liveness::Unknown;
        }
        if (liveness == Liveness::Free) {
            HANDLE markerHandle = nullptr;
            const Liveness held = Examine(directory.get(), marker, 0, FILE_NON_DIRECTORY_FILE,
                                          &markerHandle, &error);
            OwnedHandle closed(markerHandle);
            if (held != Liveness::Missing) liveness = held;
        }
        switch (liveness) {
        case Liveness::Held:
            trace.Line("sweep: left %s: its run is still going", path.c_str());
            continue;
        case Liveness::Missing:
        case Liveness::Unknown:
            trace.Line("sweep: left %s: it cannot be examined (error %lu)", path.c_str(), error);
            continue;
        case Liveness::Free:
            break;
        }
        DeleteHeldDirectory(directory.release(), path.c_str(), WorkerCount(kMaxWorkers), trace,
                            stopRequested);
        if (GetFileAttributesW(WidenAnsi(path.c_str()).c_str()) == INVALID_FILE_ATTRIBUTES) {
            trace.Line("sweep: removed %s, left by an earlier run", path.c_str());
            TestFaultHook("sweep-removed");
        }
        else if (stopRequested != nullptr && stopRequested())
            trace.Line("sweep: stopped in %s; the rest stays for a later run", path.c_str());
        else
            trace.Line("sweep: could not remove all of %s; the rest stays", path.c_str());
    }
}
