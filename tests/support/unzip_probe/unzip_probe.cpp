// Drives the launcher's own archive code from the command line, for the
// tests against real archivers and for the benchmark. Built twice: as a
// Windows console program (run under Wine) and natively.
//
//   unzip_probe <archive> <directory> [prefix]   extracts (exit 0 on success)
//   unzip_probe -l <archive>                     lists: size, compressed size, name
//   unzip_probe -v <program>                     (Windows) its version texts, as
//                                                the system's version API reads them
#include <cinttypes>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#include <string>
#include <vector>

// "Name\tvalue" (UTF-8) for each text of the first translation.
int PrintVersion(const char *program)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(program, &ignored);
    std::vector<char> info(size);
    if (size == 0 || !GetFileVersionInfoA(program, 0, size, info.data())) return 1;
    WORD *translation = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                        reinterpret_cast<void **>(&translation), &length) || length < 4)
        return 1;
    static const wchar_t *const kNames[] = {L"CompanyName",     L"FileDescription", L"FileVersion",
                                            L"InternalName",    L"LegalCopyright",  L"OriginalFilename",
                                            L"ProductName",     L"ProductVersion"};
    for (const wchar_t *name : kNames) {
        wchar_t query[128];
        swprintf(query, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translation[0], translation[1], name);
        wchar_t *value = nullptr;
        if (!VerQueryValueW(info.data(), query, reinterpret_cast<void **>(&value), &length)) continue;
        char text[1024];
        char key[64];
        WideCharToMultiByte(CP_UTF8, 0, value, -1, text, sizeof text, nullptr, nullptr);
        WideCharToMultiByte(CP_UTF8, 0, name, -1, key, sizeof key, nullptr, nullptr);
        printf("%s\t%s\n", key, text);
    }
    return 0;
}
#endif

#include "zip/archive.h"
#include "zip/extract.h"

int main(int argc, char **argv)
{
#ifdef _WIN32
    if (argc == 3 && strcmp(argv[1], "-v") == 0) return PrintVersion(argv[2]);
#endif
    if (argc == 3 && strcmp(argv[1], "-l") == 0) {
        ZipArchive *zip = zipOpen(argv[2], nullptr);
        if (zip == nullptr) {
            fprintf(stderr, "cannot open %s\n", argv[2]);
            return 2;
        }
        for (int n = 0; n < zip->entryCount; ++n) {
            ZipEntry *entry = zipGetNextEntry(zip, n);
            if (entry == nullptr) {
                fprintf(stderr, "entry %d: %s\n", n, zip->lastError ? zip->lastError : "unreadable");
                zipClose(zip);
                return 1;
            }
            printf("%" PRId64 "\t%" PRId64 "\t%s\n", entry->uncompressedSize,
                   entry->compressedSize, entry->entryName);
            zipFreeEntry(zip, entry);
        }
        zipClose(zip);
        return 0;
    }
    if (argc != 3 && argc != 4) {
        fprintf(stderr, "usage: unzip_probe <archive> <directory> [prefix]\n"
                        "       unzip_probe -l <archive>\n");
        return 2;
    }
    ZipArchive *zip = zipOpen(argv[1], nullptr);
    if (zip == nullptr) {
        fprintf(stderr, "cannot open %s\n", argv[1]);
        return 2;
    }
    bool ok = UnzipFiles(zip, argv[2], argc == 4 ? argv[3] : nullptr);
    zipClose(zip);
    if (!ok) {
        fprintf(stderr, "extraction failed\n");
        return 1;
    }
    return 0;
}
