// Runtime discovery. The registry search keeps every acceptable registration
// in one of four classes and picks at the end, so the order in which keys and
// views are read decides ties: later wins. Keys are opened for reading only
// (a user without administrator rights cannot open HKEY_LOCAL_MACHINE keys
// for writing), and a 32-bit launcher on 64-bit Windows reads the 64-bit
// view after its own, since today's runtimes register there.
#include "java/runtime.h"

#include "base/mbcs.h"
#include "base/memory.h"
#include "base/owned.h"
#include "java/version.h"
#include "product/product.h"
#include "ui/report.h"
#include "zip/archive.h"
#include "zip/extract.h"

#include <io.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

char *bundledJREPath;      // payload runtime, once found
char *bundledLibraryPath;  // <application home>\package, once known
// Where the payload runtime was extracted, and the prefix of its entries.
std::string extractedRuntimeHome;
std::string extractedRuntimePrefix;

const char *const RegistryKeys[] = {
    "Software\\JavaSoft\\Java Development Kit",
    "Software\\JavaSoft\\Java Runtime Environment",
};

// Where runtimes of feature version 9 and later register; read after the
// keys above, and only when the build accepts such runtimes.
const char *const ModernRegistryKeys[] = {
    "Software\\JavaSoft\\JDK",
    "Software\\JavaSoft\\JRE",
};

// Longest subkey name read, terminator included.
const DWORD SubkeyNameSize = 260;

bool IsReadable(const std::string &path)
{
    return _access(path.c_str(), 4) == 0;
}

// Opens `name` below `parent` for `access` into `key`; false when it cannot.
bool OpenKey(HKEY parent, const char *name, REGSAM access, OwnedKey &key)
{
    return RegOpenKeyExA(parent, name, 0, access, key.receive()) == ERROR_SUCCESS;
}

// One runtime the search found. No version for the payload runtime.
struct RuntimeCandidate {
    std::string version;
    std::string path;
};

// True when this 32-bit process runs on 64-bit Windows. IsWow64Process is
// looked up because the oldest supported systems lack it.
bool RunningUnderWow64()
{
    typedef BOOL(WINAPI * IsWow64ProcessFn)(HANDLE, PBOOL);
    FARPROC proc = GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process");
    if (proc == nullptr) return false;
    IsWow64ProcessFn isWow64 = reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void *>(proc));
    BOOL wow64 = FALSE;
    return isWow64(GetCurrentProcess(), &wow64) && wow64;
}

// Adds the acceptable registrations under `keyName` in registry view `view`
// (0 for the process's own) to the development kits or plain runtimes.
void CollectRegistered(const char *keyName, REGSAM view, std::vector<RuntimeCandidate> &kits,
                       std::vector<RuntimeCandidate> &plain)
{
    OwnedKey key;
    if (!OpenKey(HKEY_LOCAL_MACHINE, keyName, KEY_READ | view, key)) return;
    char name[SubkeyNameSize];
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = SubkeyNameSize;
        if (RegEnumKeyExA(key.get(), index, name, &nameLength, nullptr, nullptr, nullptr,
                          nullptr) != ERROR_SUCCESS) {
            break;
        }
        OwnedKey subkey;
        if (!OpenKey(key.get(), name, KEY_READ | view, subkey)) continue;
        if (!CheckVersion(name)) continue;
        char *home = GetStringFromRegistry(subkey.get(), "JavaHome");
        if (home == nullptr) continue;
        char *runtime = GetJREPath(home);
        free(home);
        if (runtime == nullptr) continue;
        RuntimeCandidate candidate{name, runtime};
        (IsJDK(runtime) ? kits : plain).push_back(candidate);
        free(runtime);
    }
}

// The candidate with the greatest version (CompareVersions, numeric when the
// build accepts modern runtimes); the later of equals.
const RuntimeCandidate *Best(const std::vector<RuntimeCandidate> &candidates)
{
    const RuntimeCandidate *best = nullptr;
    for (const RuntimeCandidate &candidate : candidates) {
        if (best == nullptr || CompareVersions(candidate.version.c_str(), best->version.c_str(),
                                               AcceptModernJava) >= 0) {
            best = &candidate;
        }
    }
    return best;
}

} // namespace

char *GetJREPath(const char *dir)
{
    std::string runtime;
    if (IsReadable(std::string(dir) + "\\bin\\java.dll")) {
        runtime = dir;
    } else if (IsReadable(std::string(dir) + "\\jre\\bin\\java.dll")) {
        runtime = std::string(dir) + "\\jre";
    } else {
        return nullptr;
    }
    if (!IsReadable(runtime + "\\bin\\java.exe") || !IsReadable(runtime + "\\bin\\javaw.exe")) {
        return nullptr;
    }
    return StrDup(runtime.c_str());
}

bool IsJDK(const char *runtimePath)
{
    const char *lastSlash = _strrchr(runtimePath, '\\');
    std::string toolsJar = runtimePath;
    if (lastSlash != nullptr && strcmp(lastSlash, "\\jre") == 0) {
        toolsJar += "\\..\\lib\\tools.jar";
    } else {
        toolsJar += "\\lib\\tools.jar";
    }
    return IsReadable(toolsJar);
}

char *GetStringFromRegistry(HKEY key, const char *valueName)
{
    DWORD size = 0;
    if (RegQueryValueExA(key, valueName, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) {
        return nullptr;
    }
    char *text = static_cast<char *>(MemAlloc(static_cast<size_t>(size) + 1));
    DWORD got = size;
    if (RegQueryValueExA(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE *>(text),
                         &got) != ERROR_SUCCESS ||
        got > size) {
        free(text);
        return nullptr;
    }
    // Stored data need not end in a terminator; the byte after it is ours.
    text[got] = '\0';
    return text;
}

char *GetBundledJREPath()
{
    if (bundledJREPath != nullptr) return bundledJREPath;
    const char *home = GetApplicationHome();
    if (home == nullptr) return nullptr;

    const std::string candidate = std::string(home) + "\\package\\jre";
    bundledJREPath = GetJREPath(candidate.c_str());
    const char *exec = GetExecName();
    if (bundledJREPath != nullptr || exec == nullptr) return bundledJREPath;

    ZipArchive *archive = zipOpen(exec, nullptr);
    if (archive == nullptr) return nullptr;
    ReportStatus("unzipping_java_files");
    // Entry names are the candidate relative to the home, with slashes.
    std::string prefix = candidate.substr(strlen(home) + 1);
    for (char &c : prefix) {
        if (c == '\\') c = '/';
    }
    if (UnzipFiles(archive, home, prefix.c_str())) {
        extractedRuntimeHome = home;
        extractedRuntimePrefix = prefix;
        bundledJREPath = GetJREPath(candidate.c_str());
    }
    zipClose(archive);
    return bundledJREPath;
}

const char *GetExtractedRuntimePrefix(const char *destination)
{
    if (destination == nullptr || extractedRuntimePrefix.empty() || extractedRuntimeHome != destination)
        return nullptr;
    return extractedRuntimePrefix.c_str();
}

char *GetBundledLibraryPath()
{
    if (bundledLibraryPath != nullptr) return bundledLibraryPath;
    const char *home = GetApplicationHome();
    if (home == nullptr) return nullptr;
    bundledLibraryPath = StrDup((std::string(home) + "\\package").c_str());
    return bundledLibraryPath;
}

char *GetPublicJREPath()
{
    // The payload runtime is looked for (and extracted) before the registry
    // is read, whatever the registry holds.
    const char *bundled = GetBundledJREPath();
    const bool bundledIsKit = bundled != nullptr && IsJDK(bundled);

    std::vector<RuntimeCandidate> kits;
    std::vector<RuntimeCandidate> plain;
    std::vector<REGSAM> views;
    // A 64-bit build reads the same two views in the same order, so both
    // builds of the launcher search alike.
    if (sizeof(void *) == 8 || RunningUnderWow64()) {
        views = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};
    } else {
        views = {0};
    }
    for (const char *keyName : RegistryKeys) {
        for (REGSAM view : views) CollectRegistered(keyName, view, kits, plain);
    }
    if (AcceptModernJava) {
        for (const char *keyName : ModernRegistryKeys) {
            for (REGSAM view : views) CollectRegistered(keyName, view, kits, plain);
        }
    }

    if (bundled != nullptr && bundledIsKit) return StrDup(bundled);
    if (const RuntimeCandidate *kit = Best(kits)) return StrDup(kit->path.c_str());
    if (bundled != nullptr) return StrDup(bundled);
    if (const RuntimeCandidate *runtime = Best(plain)) return StrDup(runtime->path.c_str());
    return nullptr;
}
