// A run holds its working directory's marker open from the moment the
// directory exists until the cleanup, without FILE_SHARE_DELETE: another
// process that opens the marker asking for DELETE access gets a sharing
// violation for as long as the run lives, and succeeds once the system has
// closed the handle, however the run ended (a crash, the task manager, a
// power cut before the next start). That is the sweep's proof.
//
// A directory without a marker proves nothing (a run between creating its
// directory and its marker, or a launcher that made no markers), so it stays,
// as does everything not named exactly as this program's working directories.
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

const char WorkingDirectoryMarker[] = "~launcher-run.lock";

namespace {

// What the sweep learns from a directory's marker.
enum class Marker { Free, Held, Missing, Unknown };

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

Marker ExamineMarker(const std::string &directory, DWORD *error)
{
    const std::string marker = JoinPath(directory, WorkingDirectoryMarker);
    // Sharing everything ourselves, so that only the holder's share mode
    // decides; a marker that is a link is opened as the link.
    HANDLE probe = CreateFileA(marker.c_str(), DELETE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    *error = GetLastError();
    OwnedHandle held(probe);
    if (held.valid()) return Marker::Free;
    if (*error == ERROR_SHARING_VIOLATION) return Marker::Held;
    if (*error == ERROR_FILE_NOT_FOUND) return Marker::Missing;
    return Marker::Unknown;
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

char *CreateWorkingDirectory(const char *dir, const char *prefix, HANDLE *marker)
{
    *marker = nullptr;
    const unsigned long unique = GetCurrentProcessId();
    for (int serial = 0; serial < WorkingDirectoryAttempts; ++serial) {
        std::string name =
            WorkingDirectoryName(dir, prefix, unique, static_cast<unsigned>(serial));
        if (CreateDirectoryA(name.c_str(), nullptr)) {
            HANDLE held = CreateFileA(JoinPath(name, WorkingDirectoryMarker).c_str(),
                                      GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (held != INVALID_HANDLE_VALUE) *marker = held;
            return StrDup(name.c_str());
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) return nullptr;
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
        switch (ExamineMarker(path, &error)) {
        case Marker::Held:
            trace.Line("sweep: left %s: its run is still going", path.c_str());
            continue;
        case Marker::Missing:
            trace.Line("sweep: left %s: no marker, no proof its run is over", path.c_str());
            continue;
        case Marker::Unknown:
            trace.Line("sweep: left %s: its marker cannot be examined (error %lu)", path.c_str(),
                       error);
            continue;
        case Marker::Free:
            break;
        }
        DeleteFilesAndDirectories(path.c_str(), nullptr, WorkerCount(kMaxWorkers), trace);
        if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            trace.Line("sweep: removed %s, left by an earlier run", path.c_str());
        else
            trace.Line("sweep: could not remove all of %s; the rest stays", path.c_str());
    }
}
