// The floor under the launcher's extraction and removal: what the platform
// charges for making (or removing) the files of a payload, measured beside
// the launcher in the same rounds (bench/extract.py, bench/time_to_wizard.py).
//
// It makes the same files with the same sizes as the launcher, on the
// threads it is given (the benchmarks give it one a processor, its fastest),
// from memory: no archive is read
// and nothing is inflated or checked. It uses only the calls any extractor
// needs (one CreateDirectoryW per directory, one CreateFileW per file,
// WriteFile in 64 KiB blocks, CloseHandle), by whole path, as a plain
// program would. What the launcher takes beyond this is its own to remove.
//
// --below does the same as an extractor that follows no link must: each
// file made (or deleted) by NtCreateFile below its directory's handle,
// which is opened once. The difference between the two is the price of
// that safety on the platform (under Wine each such open changes the
// process's directory and back, under a lock), not the launcher's.
//
//   floor_writer.exe write <manifest> <destination> <threads> [--below]
//   floor_writer.exe remove <destination> <threads> [--below]
//
// The manifest is UTF-8 text, a line per entry: "<size> <name>", names with
// "/" separators, directories ending in "/". remove deletes the files on the
// threads and then the directories, deepest first, with FindFirstFileW
// listings, DeleteFileW and RemoveDirectoryW.
#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

std::wstring Wide(const std::string &utf8)
{
    const int units = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], units);
    return wide;
}

struct File {
    std::wstring path;
    unsigned long long size;
    size_t directory;   // index into the run's directories (--below)
    std::wstring leaf;  // the name in it
};

// The file `leaf` below the directory `parent`, as NtCreateFile opens it;
// null when it cannot.
HANDLE OpenBelow(HANDLE parent, const std::wstring &leaf, ACCESS_MASK access, ULONG disposition,
                 ULONG options)
{
    UNICODE_STRING name;
    name.Buffer = const_cast<wchar_t *>(leaf.c_str());
    name.Length = name.MaximumLength = static_cast<USHORT>(leaf.size() * sizeof(wchar_t));
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, parent, nullptr);
    IO_STATUS_BLOCK io;
    HANDLE handle = nullptr;
    const NTSTATUS status = NtCreateFile(&handle, access | SYNCHRONIZE, &attributes, &io, nullptr,
                                         FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ, disposition,
                                         options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    return status >= 0 ? handle : nullptr;
}

HANDLE OpenDirectory(const std::wstring &path)
{
    HANDLE handle = CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

// Runs `work(i)` for every i below `count` on `threads` threads.
template <typename Work>
void OnThreads(size_t count, int threads, Work work)
{
    std::atomic<size_t> next{0};
    std::vector<std::thread> pool;
    for (int t = 0; t < std::max(threads, 1); ++t)
        pool.emplace_back([&] {
            for (size_t i; (i = next.fetch_add(1)) < count;) work(i);
        });
    for (std::thread &thread : pool) thread.join();
}

int Write(const char *manifest, const std::wstring &destination, int threads, bool below)
{
    std::ifstream in(manifest, std::ios::binary);
    if (!in) {
        fprintf(stderr, "cannot read %s\n", manifest);
        return 1;
    }
    std::set<std::wstring> directories;
    std::vector<File> files;
    std::string line;
    while (std::getline(in, line)) {
        const size_t space = line.find(' ');
        if (space == std::string::npos) continue;
        std::string name = line.substr(space + 1);
        const bool directory = !name.empty() && name.back() == '/';
        std::replace(name.begin(), name.end(), '/', '\\');
        for (size_t cut = name.find('\\'); cut != std::string::npos; cut = name.find('\\', cut + 1))
            directories.insert(destination + L"\\" + Wide(name.substr(0, cut)));
        if (!directory) {
            const size_t cut = name.rfind('\\');
            files.push_back(File{destination + L"\\" + Wide(name),
                                 strtoull(line.c_str(), nullptr, 10), 0,
                                 Wide(cut == std::string::npos ? name : name.substr(cut + 1))});
        }
    }
    CreateDirectoryW(destination.c_str(), nullptr);
    // A set of paths sorts every directory after the one above it.
    for (const std::wstring &directory : directories) CreateDirectoryW(directory.c_str(), nullptr);
    std::map<std::wstring, size_t> held;  // --below: each file's directory, opened once
    std::vector<HANDLE> handles;
    if (below) {
        for (File &file : files) {
            const std::wstring parent = file.path.substr(0, file.path.rfind(L'\\'));
            const auto at = held.emplace(parent, handles.size());
            if (at.second) handles.push_back(OpenDirectory(parent));
            file.directory = at.first->second;
        }
    }

    static char block[65536];
    std::atomic<bool> failed{false};
    OnThreads(files.size(), threads, [&](size_t i) {
        HANDLE file =
            below ? OpenBelow(handles[files[i].directory], files[i].leaf, GENERIC_WRITE,
                              FILE_OVERWRITE_IF, FILE_NON_DIRECTORY_FILE)
                  : CreateFileW(files[i].path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE || file == nullptr) {
            failed = true;
            return;
        }
        for (unsigned long long left = files[i].size; left > 0;) {
            const DWORD step = static_cast<DWORD>(std::min<unsigned long long>(left, sizeof block));
            DWORD done = 0;
            if (!WriteFile(file, block, step, &done, nullptr) || done != step) {
                failed = true;
                break;
            }
            left -= step;
        }
        CloseHandle(file);
    });
    for (HANDLE handle : handles) CloseHandle(handle);
    if (failed) fprintf(stderr, "a file could not be written\n");
    return failed ? 1 : 0;
}

// Lists the tree below `directory`: files into `files`, directories
// (deepest last) into `directories`.
void List(const std::wstring &directory, std::vector<File> &files,
          std::vector<std::wstring> &directories)
{
    const size_t index = directories.size();
    directories.push_back(directory);
    WIN32_FIND_DATAW found;
    HANDLE listing = FindFirstFileW((directory + L"\\*").c_str(), &found);
    if (listing == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            List(directory + L"\\" + name, files, directories);
        else
            files.push_back(File{directory + L"\\" + name, 0, index, name});
    } while (FindNextFileW(listing, &found));
    FindClose(listing);
}

int Remove(const std::wstring &destination, int threads, bool below)
{
    std::vector<File> files;
    std::vector<std::wstring> directories;
    List(destination, files, directories);
    std::vector<HANDLE> handles;
    if (below)
        for (const std::wstring &directory : directories) handles.push_back(OpenDirectory(directory));
    OnThreads(files.size(), threads, [&](size_t i) {
        if (!below) {
            DeleteFileW(files[i].path.c_str());
            return;
        }
        HANDLE file = OpenBelow(handles[files[i].directory], files[i].leaf, DELETE, FILE_OPEN,
                                FILE_NON_DIRECTORY_FILE | FILE_DELETE_ON_CLOSE);
        if (file != nullptr) CloseHandle(file);
    });
    for (HANDLE handle : handles) CloseHandle(handle);
    for (auto at = directories.rbegin(); at != directories.rend(); ++at) RemoveDirectoryW(at->c_str());
    return GetFileAttributesW(destination.c_str()) == INVALID_FILE_ATTRIBUTES ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    const bool below = argc > 1 && std::string(argv[argc - 1]) == "--below";
    const int count = below ? argc - 1 : argc;
    if (mode == "write" && count == 5) return Write(argv[2], Wide(argv[3]), atoi(argv[4]), below);
    if (mode == "remove" && count == 4) return Remove(Wide(argv[2]), atoi(argv[3]), below);
    fprintf(stderr, "usage: floor_writer write <manifest> <destination> <threads> [--below]\n"
                    "       floor_writer remove <destination> <threads> [--below]\n");
    return 2;
}
