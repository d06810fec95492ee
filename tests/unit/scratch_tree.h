// A scratch directory tree of a test's own in the temporary directory, with
// helpers to build it up and look at what is left; removed with everything in
// it (read-only files included, links not followed) when the test ends.
#ifndef TESTS_UNIT_SCRATCH_TREE_H
#define TESTS_UNIT_SCRATCH_TREE_H

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

class ScratchTree {
public:
    // A fresh, empty directory named after `tag` in the temporary directory.
    explicit ScratchTree(const char *tag)
    {
        char temp[MAX_PATH];
        DWORD length = GetTempPathA(sizeof temp, temp);
        std::string base(temp, length);
        if (!base.empty() && base.back() == '\\') base.pop_back();
        for (unsigned attempt = 0;; ++attempt) {
            root_ = base + "\\" + tag + "-" + std::to_string(GetCurrentProcessId()) + "-" +
                    std::to_string(attempt);
            if (CreateDirectoryA(root_.c_str(), nullptr)) break;
        }
    }

    // Whatever the test left behind goes, read-only files included. Links
    // are not followed.
    ~ScratchTree() { Scrub(root_); }

    ScratchTree(const ScratchTree &) = delete;
    ScratchTree &operator=(const ScratchTree &) = delete;

    const std::string &root() const { return root_; }
    std::string Path(const std::string &relative = "") const
    {
        return relative.empty() ? root_ : root_ + "\\" + relative;
    }

    // Creates the directory `relative` and every missing one above it;
    // returns its path.
    std::string Dir(const std::string &relative) const
    {
        for (size_t at = relative.find('\\'); at != std::string::npos;
             at = relative.find('\\', at + 1)) {
            CreateDirectoryA(Path(relative.substr(0, at)).c_str(), nullptr);
        }
        CreateDirectoryA(Path(relative).c_str(), nullptr);
        return Path(relative);
    }

    // Creates the file `relative` (and its directories) holding `content`;
    // returns its path.
    std::string File(const std::string &relative, const std::string &content = "x") const
    {
        size_t slash = relative.rfind('\\');
        if (slash != std::string::npos) Dir(relative.substr(0, slash));
        FILE *file = fopen(Path(relative).c_str(), "wb");
        if (file != nullptr) {
            fwrite(content.data(), 1, content.size(), file);
            fclose(file);
        }
        return Path(relative);
    }

    bool Exists(const std::string &relative) const
    {
        return GetFileAttributesA(Path(relative).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

private:
    // Removes `path` whatever its names: through the wide calls on the
    // extended-length form, so that names the ANSI code page cannot spell
    // and paths beyond MAX_PATH go too, and nothing is left in the prefix.
    static void Scrub(const std::string &path)
    {
        const int units = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
        if (units <= 1) return;
        std::wstring wide(static_cast<size_t>(units), L'\0');
        MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], units);
        wide.resize(static_cast<size_t>(units) - 1);
        ScrubWide(L"\\\\?\\" + wide);
    }

    static void ScrubWide(const std::wstring &path)
    {
        DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) return;
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            // A link is removed as the link, never followed.
            if (!RemoveDirectoryW(path.c_str())) DeleteFileW(path.c_str());
            return;
        }
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            DeleteFileW(path.c_str());
            return;
        }
        WIN32_FIND_DATAW found;
        HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &found);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = found.cFileName;
                if (name != L"." && name != L"..") ScrubWide(path + L"\\" + name);
            } while (FindNextFileW(find, &found));
            FindClose(find);
        }
        RemoveDirectoryW(path.c_str());
    }

    std::string root_;
};

// Links, for the tests that plant one where the launcher works.
typedef BOOLEAN(WINAPI *CreateSymbolicLinkFn)(LPCSTR, LPCSTR, DWORD);
typedef char *(CDECL *UnixFileNameFn)(LPCWSTR);

inline std::string UnixFileName(UnixFileNameFn toUnix, const std::string &path)
{
    std::wstring wide(path.begin(), path.end());
    char *unix = toUnix(wide.c_str());
    if (unix == nullptr) return std::string();
    std::string result(unix);
    HeapFree(GetProcessHeap(), 0, unix);
    return result;
}

// Runs a Unix program from inside Wine. Wine hands back no process to wait
// for, so the caller polls for the program's effect.
inline bool RunUnix(const std::string &commandLine)
{
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return false;
    }
    if (process.hProcess) CloseHandle(process.hProcess);
    if (process.hThread) CloseHandle(process.hThread);
    return true;
}

inline bool WaitFor(bool (*condition)(const std::string &), const std::string &path)
{
    for (int i = 0; i < 200; ++i) {
        if (condition(path)) return true;
        Sleep(50);
    }
    return false;
}

inline bool IsLink(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

inline bool IsGone(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

// Makes `link` a link to `target` (a directory, or with `directory` false
// a file): a Windows symbolic link where the system makes one, else (Wine,
// whose CreateSymbolicLink makes nothing and which cannot set reparse
// points) a Unix symbolic link. Wine reports one to a directory as a
// directory reparse point, and one to a file as the file itself. True when
// a link was made; for a Unix link, *unixRoot receives the Unix path of
// `root` for clearing up.
inline bool MakeLink(const std::string &link, const std::string &target, bool directory,
                     std::string *unixRoot, const std::string &root)
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto createLink = reinterpret_cast<CreateSymbolicLinkFn>(
        reinterpret_cast<void *>(GetProcAddress(kernel, "CreateSymbolicLinkA")));
    if (createLink != nullptr) {
        createLink(link.c_str(), target.c_str(), (directory ? 0x1 : 0) | 0x2 /* unprivileged */);
        if (IsLink(link)) return true;
    }
    auto toUnix = reinterpret_cast<UnixFileNameFn>(
        reinterpret_cast<void *>(GetProcAddress(kernel, "wine_get_unix_file_name")));
    if (toUnix == nullptr) return false;
    std::string unixTarget = UnixFileName(toUnix, target);
    std::string unixLink = UnixFileName(toUnix, link);
    *unixRoot = UnixFileName(toUnix, root);
    if (unixTarget.empty() || unixLink.empty()) return false;
    if (!RunUnix("Z:\\bin\\ln -s \"" + unixTarget + "\" \"" + unixLink + "\"")) return false;
    return WaitFor(directory ? IsLink : [](const std::string &path) { return !IsGone(path); }, link);
}

inline bool MakeDirectoryLink(const std::string &link, const std::string &target, std::string *unixRoot,
                              const std::string &root)
{
    return MakeLink(link, target, true, unixRoot, root);
}

#endif
