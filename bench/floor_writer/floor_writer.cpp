// The floor under the launcher's extraction and removal: what the platform
// charges for making (or removing) the files of a payload, measured beside
// the launcher in the same rounds (bench/extract.py, bench/time_to_wizard.py).
//
// It makes the same files with the same sizes as the launcher, on as many
// threads as the launcher's extraction uses, from memory: no archive is read
// and nothing is inflated or checked. It uses only the calls any extractor
// needs (one CreateDirectoryW per directory, one CreateFileW per file,
// WriteFile in 64 KiB blocks, CloseHandle), by whole path, as a plain
// program would. What the launcher takes beyond this is its own to remove.
//
//   floor_writer.exe write <manifest> <destination> <threads>
//   floor_writer.exe remove <destination> <threads>
//
// The manifest is UTF-8 text, a line per entry: "<size> <name>", names with
// "/" separators, directories ending in "/". remove deletes the files on the
// threads and then the directories, deepest first, with FindFirstFileW
// listings, DeleteFileW and RemoveDirectoryW.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
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
};

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

int Write(const char *manifest, const std::wstring &destination, int threads)
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
        if (!directory)
            files.push_back(File{destination + L"\\" + Wide(name), strtoull(line.c_str(), nullptr, 10)});
    }
    CreateDirectoryW(destination.c_str(), nullptr);
    // A set of paths sorts every directory after the one above it.
    for (const std::wstring &directory : directories) CreateDirectoryW(directory.c_str(), nullptr);

    static char block[65536];
    std::atomic<bool> failed{false};
    OnThreads(files.size(), threads, [&](size_t i) {
        HANDLE file = CreateFileW(files[i].path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
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
    if (failed) fprintf(stderr, "a file could not be written\n");
    return failed ? 1 : 0;
}

// Lists the tree below `directory`: files into `files`, directories
// (deepest last) into `directories`.
void List(const std::wstring &directory, std::vector<std::wstring> &files,
          std::vector<std::wstring> &directories)
{
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
            files.push_back(directory + L"\\" + name);
    } while (FindNextFileW(listing, &found));
    FindClose(listing);
}

int Remove(const std::wstring &destination, int threads)
{
    std::vector<std::wstring> files;
    std::vector<std::wstring> directories;
    List(destination, files, directories);
    OnThreads(files.size(), threads, [&](size_t i) { DeleteFileW(files[i].c_str()); });
    for (auto at = directories.rbegin(); at != directories.rend(); ++at) RemoveDirectoryW(at->c_str());
    return GetFileAttributesW(destination.c_str()) == INVALID_FILE_ATTRIBUTES ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "write" && argc == 5) return Write(argv[2], Wide(argv[3]), atoi(argv[4]));
    if (mode == "remove" && argc == 4) return Remove(Wide(argv[2]), atoi(argv[3]));
    fprintf(stderr, "usage: floor_writer write <manifest> <destination> <threads>\n"
                    "       floor_writer remove <destination> <threads>\n");
    return 2;
}
