// Implementation notes.
//
// The output path is "<destination>/<name>" in one buffer. The walk cuts it
// at each "/" (found with the code-page-aware search, so the trail byte of a
// double-byte character is never taken for one), makes sure that directory
// exists, then turns the "/" into the platform's separator and goes on; the
// first cut is the destination itself. The names come from the archive, so a
// name that would climb out of the destination, or that Windows would write
// under another name or as a device, is refused before any directory is
// made for it.
#include "zip/extract.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/mbcs.h"
#include "base/memory.h"
#include "zip/entry_data.h"
#include "zip/entry_name.h"
#include "zip/fileio.h"

namespace {

#ifdef _WIN32
const char kSeparator = '\\';
#else
const char kSeparator = '/';
#endif

} // namespace

bool UnzipFiles(ZipArchive *zip, const char *destination, const char *prefix)
{
    if (zip == nullptr || destination == nullptr) return false;

    size_t size = 260;
    char *path = static_cast<char *>(MemAlloc(size));
    size_t destinationLength = strlen(destination);
    size_t prefixLength = prefix != nullptr ? strlen(prefix) : 0;
    bool ok = true;

    for (int n = 0; n < zip->entryCount && ok; ++n) {
        ZipEntry *entry = zipGetNextEntry(zip, n);
        if (entry == nullptr) {
            ok = false;
            break;
        }
        const char *name = entry->entryName;
        if (prefix != nullptr && strncmp(name, prefix, prefixLength) != 0) {
            zipFreeEntry(zip, entry);
            continue;
        }
        if (!zipIsSafeName(name)) {
            zipFreeEntry(zip, entry);
            ok = false;
            break;
        }

        size_t need = destinationLength + strlen(name) + 2;
        if (need > size) {
            free(path);
            size = need;
            path = static_cast<char *>(MemAlloc(size));
        }
        snprintf(path, size, "%s/%s", destination, name);

        bool isDirectory = false;
        for (char *slash = _strchr(path + destinationLength, '/'); slash != nullptr;
             slash = _strchr(slash + 1, '/')) {
            *slash = '\0';
            if (fileKind(path) == FILE_KIND_FILE) fileUnlink(path);
            fileMakeDirectory(path);
            if (slash[1] == '\0') {
                isDirectory = true;
                break;
            }
            *slash = kSeparator;
        }
        if (!isDirectory && !zipReadEntry(zip, entry, path)) ok = false;
        zipFreeEntry(zip, entry);
    }
    free(path);
    return ok;
}
