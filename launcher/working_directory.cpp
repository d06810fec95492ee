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
// Launchers of earlier versions proved the same with a marker file inside
// the directory, held open without delete sharing. A directory whose marker
// is held therefore stays as well: an earlier version's run that is still
// going keeps its files. A directory of a run that ended, with or without a
// marker, goes.
#include "launcher/working_directory.h"

#include "base/memory.h"
#include "base/owned.h"
#include "base/path.h"
#include "base/workers.h"
#include "launcher/cleanup.h"

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

// Whether some process holds `path` (a directory, or a marker file) open
// without delete sharing.
Liveness Examine(const std::string &path, DWORD *error)
{
    // Sharing everything ourselves, so that only the holder's share mode
    // decides; a link is opened as the link.
    HANDLE probe = CreateFileA(path.c_str(), DELETE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING,
                               FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    *error = GetLastError();
    OwnedHandle held(probe);
    if (held.valid()) return Liveness::Free;
    if (*error == ERROR_SHARING_VIOLATION) return Liveness::Held;
    if (*error == ERROR_FILE_NOT_FOUND || *error == ERROR_PATH_NOT_FOUND) return Liveness::Missing;
    return Liveness::Unknown;
}

// What the sweep learns of the working directory `path`: Free when no run
// holds it, Held when one does, Unknown when it cannot tell.
Liveness ExamineWorkingDirectory(const std::string &path, DWORD *error)
{
    const Liveness directory = Examine(path, error);
    if (directory != Liveness::Free) return directory == Liveness::Missing ? Liveness::Unknown : directory;
    const Liveness marker = Examine(JoinPath(path, EarlierWorkingDirectoryMarker), error);
    return marker == Liveness::Missing ? Liveness::Free : marker;
}

} // namespace

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

char *CreateWorkingDirectory(const char *dir, const char *prefix, HANDLE *hold)
{
    *hold = nullptr;
    const unsigned long unique = GetCurrentProcessId();
    for (int serial = 0; serial < WorkingDirectoryAttempts; ++serial) {
        std::string name =
            WorkingDirectoryName(dir, prefix, unique, static_cast<unsigned>(serial));
        if (!CreateDirectoryA(name.c_str(), nullptr)) {
            if (GetLastError() != ERROR_ALREADY_EXISTS) return nullptr;
            continue;
        }
        // Another run's sweep may take the new, empty directory before it is
        // held (it cannot tell it from a dead run's), or hold it for its
        // examination at this moment: the next name then serves.
        HANDLE held = CreateFileA(name.c_str(), FILE_LIST_DIRECTORY,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                  nullptr);
        if (held == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if (error != ERROR_SHARING_VIOLATION && error != ERROR_FILE_NOT_FOUND &&
                error != ERROR_ACCESS_DENIED)
                return nullptr;
            RemoveDirectoryA(name.c_str());
            continue;
        }
        *hold = held;
        return StrDup(name.c_str());
    }
    return nullptr;
}

void SweepStaleWorkingDirectories(const char *dir, const char *prefix, Trace &trace)
{
    if (dir == nullptr || prefix == nullptr || *prefix == '\0') return;

    // Listed first, examined and removed afterwards, so the listing is not
    // changed under way. The listing's own attributes say what an entry is:
    // a link is never followed, nor a file taken for a directory.
    std::vector<std::string> names;
    {
        const std::string pattern = JoinPath(dir, std::string(prefix) + "*");
        WIN32_FIND_DATAA found;
        OwnedFind listing(FindFirstFileA(pattern.c_str(), &found));
        if (!listing.valid()) return;
        do {
            if (!IsWorkingDirectoryName(found.cFileName, prefix) ||
                !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                trace.Line("sweep: left %s: a link", JoinPath(dir, found.cFileName).c_str());
                continue;
            }
            names.push_back(found.cFileName);
        } while (FindNextFileA(listing.get(), &found));
    }

    for (const std::string &name : names) {
        const std::string path = JoinPath(dir, name);
        DWORD error = 0;
        switch (ExamineWorkingDirectory(path, &error)) {
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
        DeleteFilesAndDirectories(path.c_str(), nullptr, WorkerCount(kMaxWorkers), trace);
        if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            trace.Line("sweep: removed %s, left by an earlier run", path.c_str());
        else
            trace.Line("sweep: could not remove all of %s; the rest stays", path.c_str());
    }
}
