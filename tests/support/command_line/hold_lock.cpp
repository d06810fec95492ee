// hold_lock <file>: takes the same lock a running launcher takes on its own
// executable (byte 0, opened for reading with read sharing), prints "locked"
// and keeps it until its standard input reaches end of file. Exit status 0,
// or 2 when the file cannot be opened or locked ("failed" on stdout).
// hold_lock --writer <file>: holds the file open for writing instead,
// sharing everything, as a process that means to rewrite it would.
#include <windows.h>
#include <cstdio>
#include <cstring>

int main(int argc, char **argv)
{
    const bool writer = argc == 3 && strcmp(argv[1], "--writer") == 0;
    if (argc != 2 && !writer) {
        fprintf(stderr, "usage: hold_lock [--writer] <file>\n");
        return 2;
    }
    if (writer) {
        HANDLE held = CreateFileA(argv[2], GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        printf(held == INVALID_HANDLE_VALUE ? "failed\n" : "locked\n");
        fflush(stdout);
        char buffer[64];
        while (fread(buffer, 1, sizeof buffer, stdin) > 0) {
        }
        return held == INVALID_HANDLE_VALUE ? 2 : 0;
    }
    HANDLE file = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE || !LockFile(file, 0, 0, 1, 0)) {
        printf("failed %lu\n", GetLastError());
        return 2;
    }
    printf("locked\n");
    fflush(stdout);
    char buffer[64];
    while (fread(buffer, 1, sizeof buffer, stdin) > 0) {
    }
    UnlockFile(file, 0, 0, 1, 0);
    CloseHandle(file);
    return 0;
}
