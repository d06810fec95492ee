// Drives the launcher's own archive code from the command line, for the
// tests against real archivers and for the benchmark. Built twice: as a
// Windows console program (run under Wine) and natively.
//
//   unzip_probe <archive> <directory> [prefix]   extracts (exit 0 on success)
//   unzip_probe -l <archive>                     lists: size, compressed size, name
#include <cstdio>
#include <cstring>

#include "zip/archive.h"
#include "zip/extract.h"

int main(int argc, char **argv)
{
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
            printf("%d\t%d\t%s\n", entry->uncompressedSize, entry->compressedSize, entry->entryName);
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
