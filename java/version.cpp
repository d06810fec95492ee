// Version tests. CheckJREVersion runs the runtime's javaw.exe with its three
// standard handles on anonymous pipes. The original design read standard
// error once after the child had ended, so a runtime that wrote more than a
// pipe holds blocked forever; here the launcher polls both output pipes while
// it waits (PeekNamedPipe never blocks, and a grandchild that keeps a pipe
// open cannot keep the launcher waiting either), keeps the first 512 bytes of
// standard error and judges them only after the child has ended.
#include "java/version.h"

#include "base/mbcs.h"
#include "base/memory.h"
#include "base/owned.h"
#include "product/product.h"

#include <windows.h>
#include <io.h>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

const char *const SupportedVersionPrefixes[] = {"1.5", "1.6", "1.7", "1.8", "1.9"};
const int SupportedVersionPrefixCount =
    static_cast<int>(sizeof SupportedVersionPrefixes / sizeof SupportedVersionPrefixes[0]);

namespace {

// How much of the runtime's standard error is examined.
const size_t ReportLimit = 512;
// A release file is a few hundred bytes; more is not read.
const size_t ReleaseFileLimit = 65536;

// What one look at an output pipe found.
enum class PipeState { Empty, Read, Closed };

// Reads whatever `pipe` holds now without blocking; appends up to `limit`
// bytes in total to `kept` (when given) and discards the rest. Closed once
// the pipe is broken (every writer gone) or unreadable.
PipeState DrainAvailable(HANDLE pipe, std::string *kept, size_t limit)
{
    char chunk[4096];
    PipeState state = PipeState::Empty;
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return PipeState::Closed;
        if (available == 0) return state;
        DWORD want = available < sizeof chunk ? available : static_cast<DWORD>(sizeof chunk);
        DWORD got = 0;
        if (!ReadFile(pipe, chunk, want, &got, nullptr)) return PipeState::Closed;
        state = PipeState::Read;
        if (kept != nullptr && kept->size() < limit) {
            size_t room = limit - kept->size();
            kept->append(chunk, got < room ? got : room);
        }
    }
}

// The runs of digits in `version`, in order, each without leading zeros
// (kept as text, so no length of number can overflow).
std::vector<std::string> VersionNumbers(const char *version)
{
    std::vector<std::string> numbers;
    for (const char *p = version; *p != '\0';) {
        if (*p < '0' || *p > '9') {
            ++p;
            continue;
        }
        const char *start = p;
        while (*p >= '0' && *p <= '9') ++p;
        std::string digits(start, p);
        size_t first = digits.find_first_not_of('0');
        digits.erase(0, first == std::string::npos ? digits.size() - 1 : first);
        numbers.push_back(digits);
    }
    return numbers;
}

// The numbers of the old scheme "1.<feature>...." lose their leading 1, so
// that the feature version comes first in both schemes.
std::vector<std::string> FeatureFirst(std::vector<std::string> numbers)
{
    if (numbers.size() > 1 && numbers[0] == "1") numbers.erase(numbers.begin());
    return numbers;
}

// Two numbers without leading zeros, by value.
int CompareNumbers(const std::string &a, const std::string &b)
{
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

} // namespace

bool IsSupportedVersion(const char *version, bool acceptModern)
{
    for (int i = 0; i < SupportedVersionPrefixCount; ++i) {
        const char *prefix = SupportedVersionPrefixes[i];
        if (strncmp(prefix, version, strlen(prefix)) == 0) return true;
    }
    if (!acceptModern) return false;
    // The feature version leads: digits, then the end or a separator.
    const char *end = version;
    while (*end >= '0' && *end <= '9') ++end;
    if (end == version) return false;
    if (*end != '\0' && *end != '.' && *end != '-' && *end != '+') return false;
    return CompareNumbers(VersionNumbers(version)[0], "9") >= 0;
}

bool CheckVersion(const char *version)
{
    return IsSupportedVersion(version, AcceptsModernJava());
}

int CompareVersions(const char *a, const char *b, bool numeric)
{
    if (!numeric) return strcmp(a, b);
    std::vector<std::string> left = FeatureFirst(VersionNumbers(a));
    std::vector<std::string> right = FeatureFirst(VersionNumbers(b));
    for (size_t i = 0; i < left.size() && i < right.size(); ++i) {
        int order = CompareNumbers(left[i], right[i]);
        if (order != 0) return order;
    }
    if (left.size() != right.size()) return left.size() < right.size() ? -1 : 1;
    return 0;
}

char *VersionFromReport(char *capture)
{
    char *lineFeed = _strchr(capture, '\n');
    if (lineFeed != nullptr) *lineFeed = '\0';
    char *quote = _strrchr(capture, '"');
    if (quote != nullptr) *quote = '\0';
    quote = _strrchr(capture, '"');
    if (quote == nullptr) return capture;
    char *version = StrDup(quote + 1);
    free(capture);
    return version;
}

namespace {

// What a runtime's release file says: JAVA_VERSION="17.0.2", OS_ARCH="x86_64".
enum class Release { Usable, Missing, Broken };

Release ReadReleaseFile(const std::string &path, std::string *version, std::string *arch)
{
    FILE *file = fopen(path.c_str(), "rb");
    if (file == nullptr) return Release::Missing;
    std::string text(ReleaseFileLimit, '\0');
    text.resize(fread(&text[0], 1, text.size(), file));
    fclose(file);
    auto value = [&text](const char *key) {
        const std::string want = std::string(key) + "=\"";
        for (size_t line = 0; line < text.size();) {
            size_t end = text.find('\n', line);
            if (end == std::string::npos) end = text.size();
            if (text.compare(line, want.size(), want) == 0) {
                const size_t close = text.find('"', line + want.size());
                if (close != std::string::npos && close < end)
                    return text.substr(line + want.size(), close - line - want.size());
            }
            line = end + 1;
        }
        return std::string();
    };
    *version = value("JAVA_VERSION");
    *arch = value("OS_ARCH");
    if (version->empty() || version->size() > 64 || !isdigit(static_cast<unsigned char>((*version)[0])))
        return Release::Broken;
    return Release::Usable;
}

const char *Bitness(const std::string &arch)
{
    if (arch == "x86_64" || arch == "amd64" || arch == "aarch64") return "64-bit";
    if (arch == "x86" || arch == "i386" || arch == "i586" || arch == "i686") return "32-bit";
    return "bitness not stated";
}

} // namespace

char *CheckJREVersion(const char *runtimePath, Trace &trace)
{
    if (_access(runtimePath, 0) != 0) {
        trace.Line("version: %s does not exist", runtimePath);
        return nullptr;
    }
    if (AcceptsModernJava()) {
        // The runtime says its version in its release file (beside bin, or
        // beside the "jre" of an older kit): no process needed. A 64-bit
        // runtime serves the 32-bit launcher as well: it only starts it.
        std::string release = std::string(runtimePath) + "\\release";
        const char *slash = _strrchr(runtimePath, '\\');
        if (_access(release.c_str(), 4) != 0 && slash != nullptr && strcmp(slash, "\\jre") == 0)
            release = std::string(runtimePath, slash) + "\\release";
        std::string version;
        std::string arch;
        switch (ReadReleaseFile(release, &version, &arch)) {
        case Release::Usable: {
            const bool supported = CheckVersion(version.c_str());
            trace.Line("version: %s says \"%s\" (%s, %s): %s", release.c_str(), version.c_str(),
                       arch.empty() ? "no OS_ARCH" : arch.c_str(), Bitness(arch),
                       supported ? "supported" : "not a supported version");
            return supported ? StrDup(version.c_str()) : nullptr;
        }
        case Release::Broken:
            trace.Line("version: %s gives no usable JAVA_VERSION; asking the runtime", release.c_str());
            break;
        case Release::Missing:
            trace.Line("version: %s has no release file; asking the runtime", runtimePath);
            break;
        }
    }

    SECURITY_ATTRIBUTES inheritable = {};
    inheritable.nLength = sizeof inheritable;
    inheritable.bInheritHandle = TRUE;

    OwnedHandle inRead, inWrite, outRead, outWrite, errRead, errWrite;
    if (!CreatePipe(inRead.receive(), inWrite.receive(), &inheritable, 512) ||
        !CreatePipe(outRead.receive(), outWrite.receive(), &inheritable, 512) ||
        !CreatePipe(errRead.receive(), errWrite.receive(), &inheritable, 512)) {
        trace.Line("version: no pipes for %s (error %lu)", runtimePath, GetLastError());
        return nullptr;
    }

    std::string command = "\"";
    command += runtimePath;
    command += "\\bin\\javaw.exe\" \"-version\"";
    std::string writable = command;  // CreateProcessA may write into it

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inRead.get();
    startup.hStdOutput = outWrite.get();
    startup.hStdError = errWrite.get();

    // The launcher's own ends must not leak into the child, or the child
    // would hold its own pipes open.
    SetHandleInformation(inWrite.get(), HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(outRead.get(), HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead.get(), HANDLE_FLAG_INHERIT, 0);

    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &writable[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process)) {
        trace.Line("version: could not run %s (error %lu)", command.c_str(), GetLastError());
        return nullptr;
    }
    OwnedHandle child(process.hProcess);
    OwnedHandle thread(process.hThread);
    // The child has its copies; closing ours lets the pipes break when it ends.
    inRead.reset();
    outWrite.reset();
    errWrite.reset();

    std::string report;
    PipeState out = PipeState::Empty;
    PipeState err = PipeState::Empty;
    for (;;) {
        if (out != PipeState::Closed) out = DrainAvailable(outRead.get(), nullptr, 0);
        if (err != PipeState::Closed) err = DrainAvailable(errRead.get(), &report, ReportLimit);
        // Look again at once while output flows; otherwise doze briefly.
        DWORD pause = (out == PipeState::Read || err == PipeState::Read) ? 0 : 10;
        if (WaitForSingleObject(child.get(), pause) != WAIT_TIMEOUT) break;
    }
    // What the child wrote before it ended is still in the pipe.
    if (err != PipeState::Closed) DrainAvailable(errRead.get(), &report, ReportLimit);

    char *capture = static_cast<char *>(MemAlloc(report.size() + 1));
    memcpy(capture, report.data(), report.size());
    capture[report.size()] = '\0';
    char *version = VersionFromReport(capture);
    const bool supported = CheckVersion(version);
    trace.Line("version: %s reported \"%s\": %s", command.c_str(), version,
               supported ? "supported" : "not a supported version");
    if (!supported) {
        free(version);
        return nullptr;
    }
    return version;
}

bool CheckJavaVersion(const char *runtimePath, Trace &trace)
{
    char *version = CheckJREVersion(runtimePath, trace);
    if (version == nullptr) return false;
    free(version);
    return true;
}

bool CheckJavaClassFile()
{
    const char *home = GetApplicationHome();
    const char *name = GetJavaClassName();
    if (home == nullptr) return false;
    std::string path = home;
    path += '\\';
    path += name;
    path += ".class";
    return _access(path.c_str(), 4) == 0;
}
