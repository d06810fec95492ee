// A scratch directory for the command-line and temporary-directory tests,
// made fresh under the system's temporary directory and removed with
// everything in it afterwards; and the formatting of catalogue texts as the
// launcher prints them.
#ifndef TESTS_UNIT_CLI_SCRATCH_H
#define TESTS_UNIT_CLI_SCRATCH_H

#include "ui/catalogue.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

class CliScratch {
public:
    explicit CliScratch(const char *name)
    {
        char temp[MAX_PATH + 1];
        GetTempPathA(sizeof temp, temp);
        root_ = std::string(temp) + "cli-" + name + "-" + std::to_string(GetCurrentProcessId());
        Remove(root_);
        CreateDirectoryA(root_.c_str(), nullptr);
    }
    ~CliScratch() { Remove(root_); }
    CliScratch(const CliScratch &) = delete;
    CliScratch &operator=(const CliScratch &) = delete;

    const std::string &root() const { return root_; }
    std::string Path(const std::string &relative) const { return root_ + "\\" + relative; }

    std::string Dir(const std::string &relative) const
    {
        std::string path = Path(relative);
        CreateDirectoryA(path.c_str(), nullptr);
        return path;
    }
    std::string File(const std::string &relative) const
    {
        std::string path = Path(relative);
        FILE *f = fopen(path.c_str(), "wb");
        if (f != nullptr) fclose(f);
        return path;
    }

private:
    static void Remove(const std::string &path)
    {
        DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) return;
        SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            DeleteFileA(path.c_str());
            return;
        }
        WIN32_FIND_DATAA found;
        HANDLE find = FindFirstFileA((path + "\\*").c_str(), &found);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                std::string name = found.cFileName;
                if (name != "." && name != "..") Remove(path + "\\" + name);
            } while (FindNextFileA(find, &found));
            FindClose(find);
        }
        RemoveDirectoryA(path.c_str());
    }

    std::string root_;
};

// The catalogue text of `key` formatted with `args`, as _fprintf prints it.
template <typename... Args> std::string CatalogueText(const char *key, Args... args)
{
    char *format = GetLocalizedMessage(key);
    int length = snprintf(nullptr, 0, format, args...);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    snprintf(&text[0], text.size(), format, args...);
    text.resize(static_cast<size_t>(length));
    free(format);
    return text;
}

#endif
