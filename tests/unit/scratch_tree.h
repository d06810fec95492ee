// A scratch directory tree of a test's own in the temporary directory, with
// helpers to build it up and look at what is left; removed with everything in
// it (read-only files included, links not followed) when the test ends.
#ifndef TESTS_UNIT_SCRATCH_TREE_H
#define TESTS_UNIT_SCRATCH_TREE_H

#include <windows.h>

#include <cstdio>
#include <string>

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
    std::string Path(const std::string &relative) const
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
    static void Scrub(const std::string &path)
    {
        DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) return;
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return;
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            DeleteFileA(path.c_str());
            return;
        }
        WIN32_FIND_DATAA found;
        HANDLE find = FindFirstFileA((path + "\\*").c_str(), &found);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                std::string name = found.cFileName;
                if (name != "." && name != "..") Scrub(path + "\\" + name);
            } while (FindNextFileA(find, &found));
            FindClose(find);
        }
        RemoveDirectoryA(path.c_str());
    }

    std::string root_;
};

#endif
