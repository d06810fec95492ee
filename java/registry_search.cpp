// The registry search, and the other places a modern runtime is looked for.
// Every acceptable JavaSoft registration lands in one of two classes and the
// choice comes at the end, so the order in which keys and views are read
// decides ties: later wins. Keys are opened for reading only (a user without
// administrator rights cannot open HKEY_LOCAL_MACHINE keys for writing), and
// a 32-bit launcher on 64-bit Windows reads the 64-bit view after its own,
// since today's runtimes register there.
#include "java/registry_search.h"

#include "base/file_safety.h"
#include "base/mbcs.h"
#include "base/memory.h"
#include "base/owned.h"
#include "base/text.h"
#include "java/runtime_directory.h"
#include "java/version.h"
#include "product/product.h"

#include <io.h>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

namespace {

bool IsReadable(const std::string &path)
{
    return _access(path.c_str(), 4) == 0;
}

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

// Where other vendors' installers register their runtimes: under `key`,
// one subkey per installed runtime, then `below` (may be empty), holding
// the runtime's directory in the value `value`. Read in this order, after
// everything above, and only when the build accepts modern runtimes.
// Amazon Corretto registers under the JavaSoft keys above.
struct VendorKey {
    const char *key;
    const char *below;
    const char *value;
};
const VendorKey VendorKeys[] = {
    {"Software\\Eclipse Adoptium\\JDK", "hotspot\\MSI", "Path"},         // Eclipse Temurin
    {"Software\\Eclipse Adoptium\\JRE", "hotspot\\MSI", "Path"},
    {"Software\\Eclipse Foundation\\JDK", "hotspot\\MSI", "Path"},       // early Temurin
    {"Software\\Eclipse Foundation\\JRE", "hotspot\\MSI", "Path"},
    {"Software\\AdoptOpenJDK\\JDK", "hotspot\\MSI", "Path"},
    {"Software\\AdoptOpenJDK\\JRE", "hotspot\\MSI", "Path"},
    {"Software\\AdoptOpenJDK\\JDK", "openj9\\MSI", "Path"},
    {"Software\\AdoptOpenJDK\\JRE", "openj9\\MSI", "Path"},
    {"Software\\Azul Systems\\Zulu", "", "InstallationPath"},
    {"Software\\BellSoft\\Liberica", "", "InstallationPath"},
    {"Software\\Microsoft\\JDK", "hotspot\\MSI", "Path"},              // Microsoft Build of OpenJDK
    {"Software\\Semeru\\JDK", "openj9\\MSI", "Path"},                  // IBM Semeru
    {"Software\\Semeru\\JRE", "openj9\\MSI", "Path"},
};

// Longest subkey name read, terminator included.
const DWORD SubkeyNameSize = 260;


// Opens `name` below `parent` for `access` into `key`; false when it cannot.
bool OpenKey(HKEY parent, const char *name, REGSAM access, OwnedKey &key)
{
    return RegOpenKeyExA(parent, name, 0, access, key.receive()) == ERROR_SUCCESS;
}


// The registry view's name for the trace.
const char *ViewName(REGSAM view)
{
    if (view == KEY_WOW64_32KEY) return "32-bit view";
    if (view == KEY_WOW64_64KEY) return "64-bit view";
    return "own view";
}

// True when this 32-bit process runs on 64-bit Windows. IsWow64Process is
// looked up because the oldest supported systems lack it.
bool RunningUnderWow64()
{
    typedef BOOL(WINAPI * IsWow64ProcessFn)(HANDLE, PBOOL);
    FARPROC proc = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process");
    if (proc == nullptr) return false;
    IsWow64ProcessFn isWow64 = reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void *>(proc));
    BOOL wow64 = FALSE;
    return isWow64(GetCurrentProcess(), &wow64) && wow64;
}

// Adds the acceptable registrations under `keyName` in registry view `view`
// (0 for the process's own) to the development kits or plain runtimes.
void CollectRegistered(const char *keyName, REGSAM view, std::vector<RuntimeCandidate> &kits,
                       std::vector<RuntimeCandidate> &plain, Trace &trace)
{
    OwnedKey key;
    if (!OpenKey(HKEY_LOCAL_MACHINE, keyName, KEY_READ | view, key)) {
        trace.Line("runtime: registry HKLM\\%s (%s): not present", keyName, ViewName(view));
        return;
    }
    char name[SubkeyNameSize];
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = SubkeyNameSize;
        if (RegEnumKeyExA(key.get(), index, name, &nameLength, nullptr, nullptr, nullptr,
                          nullptr) != ERROR_SUCCESS) {
            break;
        }
        std::string source;
        if (trace.on()) source = std::string("registry HKLM\\") + keyName + "\\" + name + " (" +
                                 ViewName(view) + ")";
        OwnedKey subkey;
        if (!OpenKey(key.get(), name, KEY_READ | view, subkey)) {
            trace.Line("runtime: %s: refused: cannot be opened", source.c_str());
            continue;
        }
        if (!CheckVersion(name)) {
            trace.Line("runtime: %s: refused: not a supported version", source.c_str());
            continue;
        }
        char *home = GetStringFromRegistry(subkey.get(), "JavaHome");
        if (home == nullptr) {
            trace.Line("runtime: %s: refused: no JavaHome value", source.c_str());
            continue;
        }
        char *runtime = GetJREPath(home, trace);
        if (runtime == nullptr) {
            trace.Line("runtime: %s: refused: JavaHome %s is not a runtime directory",
                       source.c_str(), home);
            free(home);
            continue;
        }
        free(home);
        const bool kit = IsJDK(runtime);
        trace.Line("runtime: %s: candidate %s, version %s, %s", source.c_str(), runtime, name,
                   kit ? "development kit" : "plain runtime");
        RuntimeCandidate candidate{name, runtime, source};
        (kit ? kits : plain).push_back(candidate);
        free(runtime);
    }
}

} // namespace

// The candidate with the greatest version (CompareVersions, numeric when the
// build accepts modern runtimes); the later of equals.
const RuntimeCandidate *Best(const std::vector<RuntimeCandidate> &candidates)
{
    const RuntimeCandidate *best = nullptr;
    for (const RuntimeCandidate &candidate : candidates) {
        if (best == nullptr || CompareVersions(candidate.version.c_str(), best->version.c_str(),
                                               AcceptsModernJava()) >= 0) {
            best = &candidate;
        }
    }
    return best;
}

namespace {

// The registry views to read, in order: a 32-bit launcher on 64-bit
// Windows reads the 64-bit view after its own, and the 64-bit build reads
// the same two in the same order.
std::vector<REGSAM> RegistryViews()
{
    if (sizeof(void *) == 8 || RunningUnderWow64()) return {KEY_WOW64_32KEY, KEY_WOW64_64KEY};
    return {0};
}

// True when an elevated or SYSTEM run may use `runtime`, which a place the
// user controls named (a per-user key, JAVA_HOME, PATH): only when the
// system's own put it there. Its folder, its bin and the files a start runs
// are examined before anything of it is started; a Limited run takes it as
// it is, since the user's own places are the user's to choose.
bool MayRunFromUsersPlace(const std::string &runtime, const std::string &source,
                          const RunAccount &account, Trace &trace)
{
    if (account.elevation == RunElevation::Limited) return true;
    for (const char *part : {"", "\\bin", "\\bin\\java.exe", "\\bin\\javaw.exe", "\\bin\\java.dll"}) {
        const std::string path = runtime + part;
        OwnedHandle held(CreateFileW(WidenAnsi(path.c_str()).c_str(), READ_CONTROL,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        std::string why;
        if (!held.valid())
            why = "cannot be examined";
        else if (KeptBySystem(held.get(), &why))
            continue;
        trace.Line("runtime: %s: refused, not started: the run's account is %s, and %s is %s",
                   source.c_str(), ElevationName(account.elevation), path.c_str(), why.c_str());
        return false;
    }
    return true;
}

// Adds `runtime` (from `source`) to `found` when it answers a supported
// version (its release file, or asking it). `account`, when given, is
// the run's, and `runtime` came from a place the user controls.
void AddTested(const std::string &runtime, const std::string &source,
               std::vector<RuntimeCandidate> &found, Trace &trace,
               const RunAccount *account = nullptr)
{
    if (account != nullptr && !MayRunFromUsersPlace(runtime, source, *account, trace)) return;
    char *version = CheckJREVersion(runtime.c_str(), trace);
    if (version == nullptr) {
        trace.Line("runtime: %s: refused: %s gives no supported version", source.c_str(),
                   runtime.c_str());
        return;
    }
    trace.Line("runtime: %s: candidate %s, version %s", source.c_str(), runtime.c_str(), version);
    found.push_back({version, runtime, source});
    free(version);
}

// The runtimes registered under `vendor` in `root` and `view`.
void CollectVendor(const VendorKey &vendor, HKEY root, REGSAM view,
                   std::vector<RuntimeCandidate> &found, Trace &trace, const RunAccount &account)
{
    const char *rootName = root == HKEY_LOCAL_MACHINE ? "HKLM" : "HKCU";
    OwnedKey key;
    if (!OpenKey(root, vendor.key, KEY_READ | view, key)) {
        trace.Line("runtime: registry %s\\%s (%s): not present", rootName, vendor.key, ViewName(view));
        return;
    }
    char name[SubkeyNameSize];
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = SubkeyNameSize;
        if (RegEnumKeyExA(key.get(), index, name, &nameLength, nullptr, nullptr, nullptr,
                          nullptr) != ERROR_SUCCESS)
            break;
        std::string where = std::string(name);
        if (*vendor.below != '\0') where += std::string("\\") + vendor.below;
        const std::string source = std::string("registry ") + rootName + "\\" + vendor.key + "\\" +
                                   where + " (" + ViewName(view) + ")";
        OwnedKey subkey;
        if (!OpenKey(key.get(), where.c_str(), KEY_READ | view, subkey)) {
            trace.Line("runtime: %s: refused: cannot be opened", source.c_str());
            continue;
        }
        char *home = GetStringFromRegistry(subkey.get(), vendor.value);
        if (home == nullptr) {
            trace.Line("runtime: %s: refused: no %s value", source.c_str(), vendor.value);
            continue;
        }
        // Installers write the directory with a trailing backslash.
        std::string dir = home;
        free(home);
        while (dir.size() > 3 && dir.back() == '\\' && IsMultiByteChar(dir.c_str(), static_cast<int>(dir.size() - 1)))
            dir.pop_back();
        char *runtime = GetJREPath(dir.c_str(), trace);
        if (runtime == nullptr) {
            trace.Line("runtime: %s: refused: %s is not a runtime directory", source.c_str(), dir.c_str());
            continue;
        }
        AddTested(runtime, source, found, trace,
                  root == HKEY_CURRENT_USER ? &account : nullptr);
        free(runtime);
    }
}

// The runtime whose bin holds the first java.exe on PATH that lies in a
// runtime directory: a java.exe elsewhere (a system folder's copy, a folder
// of links that forwards to some runtime) is passed over.
void CollectFromPath(std::vector<RuntimeCandidate> &found, Trace &trace, const RunAccount &account)
{
    const char *path = getenv("PATH");
    if (path == nullptr) {
        trace.Line("runtime: PATH: not set");
        return;
    }
    for (std::string dir : SplitAt(path, ';')) {
        if (dir.size() >= 2 && dir.front() == '"' && dir.back() == '"') dir = dir.substr(1, dir.size() - 2);
        while (!dir.empty() && dir.back() == '\\') dir.pop_back();
        if (dir.empty() || !IsReadable(dir + "\\java.exe")) continue;
        const std::string source = "PATH entry " + dir;
        const char *slash = _strrchr(dir.c_str(), '\\');
        char *runtime = nullptr;
        if (slash != nullptr && _stricmp(slash, "\\bin") == 0)
            runtime = GetJREPath(std::string(dir.c_str(), slash).c_str(), trace);
        if (runtime == nullptr || _stricmp((std::string(runtime) + "\\bin").c_str(), dir.c_str()) != 0) {
            trace.Line("runtime: %s: passed over: its java.exe lies in no runtime's bin",
                       source.c_str());
            free(runtime);
            continue;
        }
        AddTested(runtime, source, found, trace, &account);
        free(runtime);
        return;
    }
    trace.Line("runtime: PATH: no java.exe in a runtime's bin");
}

} // namespace

// The places searched after the payload's runtime and the JavaSoft keys,
// in order: every vendor key (per machine, then per user; each in every
// view), JAVA_HOME, PATH. The first place with a runtime of a supported
// version gives it, the highest version there (the first of equals).
char *SearchOtherPlaces(Trace &trace, const RunAccount &account)
{
    auto best = [](const std::vector<RuntimeCandidate> &found) {
        const RuntimeCandidate *chosen = nullptr;
        for (const RuntimeCandidate &candidate : found)
            if (chosen == nullptr ||
                CompareVersions(candidate.version.c_str(), chosen->version.c_str(), true) > 0)
                chosen = &candidate;
        return chosen;
    };
    auto take = [&trace](const std::vector<RuntimeCandidate> &found,
                         const RuntimeCandidate *chosen) -> char * {
        for (const RuntimeCandidate &candidate : found)
            if (&candidate != chosen)
                trace.Line("runtime: passed over %s, version %s, from %s", candidate.path.c_str(),
                           candidate.version.c_str(), candidate.source.c_str());
        trace.Line("runtime: chose %s: the newest from %s", chosen->path.c_str(), chosen->source.c_str());
        return StrDup(chosen->path.c_str());
    };
    const std::vector<REGSAM> views = RegistryViews();
    for (const VendorKey &vendor : VendorKeys) {
        std::vector<RuntimeCandidate> found;
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
            for (REGSAM view : views) CollectVendor(vendor, root, view, found, trace, account);
        if (const RuntimeCandidate *chosen = best(found)) return take(found, chosen);
    }
    if (const char *javaHome = getenv("JAVA_HOME")) {
        std::vector<RuntimeCandidate> found;
        std::string dir = javaHome;
        while (dir.size() > 3 && dir.back() == '\\') dir.pop_back();
        char *runtime = GetJREPath(dir.c_str(), trace);
        if (runtime != nullptr) {
            AddTested(runtime, "JAVA_HOME", found, trace, &account);
            free(runtime);
        } else {
            trace.Line("runtime: JAVA_HOME: refused: %s is not a runtime directory", dir.c_str());
        }
        if (const RuntimeCandidate *chosen = best(found)) return take(found, chosen);
    } else {
        trace.Line("runtime: JAVA_HOME: not set");
    }
    std::vector<RuntimeCandidate> found;
    CollectFromPath(found, trace, account);
    if (const RuntimeCandidate *chosen = best(found)) return take(found, chosen);
    return nullptr;
}


void CollectJavaSoftRuntimes(std::vector<RuntimeCandidate> &kits,
                             std::vector<RuntimeCandidate> &plain, Trace &trace)
{
    const std::vector<REGSAM> views = RegistryViews();
    std::vector<const char *> keyNames(std::begin(RegistryKeys), std::end(RegistryKeys));
    if (AcceptsModernJava())
        keyNames.insert(keyNames.end(), std::begin(ModernRegistryKeys), std::end(ModernRegistryKeys));
    for (const char *keyName : keyNames) {
        for (REGSAM view : views) CollectRegistered(keyName, view, kits, plain, trace);
    }
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
