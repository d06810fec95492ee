// mksetup: turns a folder into an installer (a launcher program with the
// folder appended as its ZIP payload), lists an installer's payload, and
// verifies it. The same source builds for Linux and for Windows.
//
//   mksetup -o OUT.exe --stub STUB.exe --payload DIR [--runtime JRE_DIR]
//           [--codepage N] [-q]
//   mksetup --list INSTALLER
//   mksetup --verify INSTALLER
//
// Exit status: 0 done, 1 failed (nothing written), 2 a usage error.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "archive_writer.h"
#include "host.h"
#include "payload.h"
#include "zip/archive.h"
#include "zip/entry_data.h"
#include "zip/entry_name.h"
#include "zip/fileio.h"
#include "zip/signed_image.h"

namespace fs = std::filesystem;

namespace {

const char kUsage[] =
    "usage: mksetup -o OUT.exe --stub STUB.exe --payload DIR [--runtime JRE_DIR]\n"
    "               [--codepage N] [-q]\n"
    "       mksetup --list INSTALLER\n"
    "       mksetup --verify INSTALLER\n"
    "\n"
    "  -o OUT.exe        the installer to write (replaced only once it is complete)\n"
    "  --stub STUB.exe   the launcher program: setup.exe or conrun.exe\n"
    "  --payload DIR     the folder whose contents become the payload's top\n"
    "  --runtime DIR     a Java runtime folder, carried as package/jre\n"
    "  --codepage N      the code page names are written in (default: ASCII names only)\n"
    "  -q                no progress bar and no summary\n"
    "  --list            list the payload: size, stored size, method, name\n"
    "  --verify          check every entry's CRC and whether a signature follows\n";

// Where the launcher looks for the runtime a payload carries.
const std::string kRuntimePrefix = "package/jre/";

// A PE data directory entry: position and size, 32 bits each.
const size_t kDirectoryEntrySize = 8;

// Payloads smaller than this finish before a bar is worth drawing.
const uint64_t kProgressThreshold = 16u << 20;
const int kBarWidth = 30;

const char kNullDevice[] =
#ifdef _WIN32
    "NUL";
#else
    "/dev/null";
#endif

int Fail(const std::string &message)
{
    std::cerr << "mksetup: " << message << "\n";
    return 1;
}

int Usage(const std::string &message)
{
    std::cerr << "mksetup: " << message << "\n\n" << kUsage;
    return 2;
}

bool ReadFileBytes(const fs::path &path, std::string *bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// The end of the file as the launcher reads it, and where its security
// directory entry lies when it is signed (-1 otherwise).
int32_t SignedEnd(const std::string &path, int32_t *directoryAt)
{
    int fd = fileOpen(path.c_str(), FILEIO_RDONLY | FILEIO_BINARY, 0);
    if (fd < 0) return -1;
    int32_t end = zipSignedImageEnd(fd, fileSeek(fd, 0, SEEK_END), directoryAt);
    fileClose(fd);
    return end;
}

struct PackOptions {
    std::string out;
    std::string stub;
    std::string payload;
    std::string runtime;
    unsigned codePage = 0;
    bool quiet = false;
};

int Pack(const PackOptions &options)
{
    std::string stub;
    if (!ReadFileBytes(options.stub, &stub)) return Fail(options.stub + ": cannot be read");
    ProductRecord record;
    if (stub.rfind("MZ", 0) != 0 || !FindProductRecord(stub, &record))
        return Fail(options.stub + ": not one of the launcher's programs (setup.exe or "
                                   "conrun.exe built from this source)");
    // An installer as the stub would carry two payloads, one of them dead.
    if (ZipArchive *carried = zipOpen(options.stub.c_str(), nullptr)) {
        zipClose(carried);
        return Fail(options.stub + ": already carries a payload; pack behind the plain program");
    }
    // A signed stub's signature would end up in front of the payload, where
    // it signs nothing: drop it; the installer is signed after packing.
    int32_t directoryAt = -1;
    int32_t signedEnd = SignedEnd(options.stub, &directoryAt);
    if (signedEnd > 0) {
        stub.resize(static_cast<size_t>(signedEnd));
        stub.replace(static_cast<size_t>(directoryAt), kDirectoryEntrySize, kDirectoryEntrySize,
                     '\0');
        if (!options.quiet)
            std::cerr << "mksetup: " << options.stub
                      << ": its signature is left out; sign the installer instead\n";
    }

    NameRules rules;
    rules.codePage = options.codePage;
    std::vector<PayloadEntry> entries;
    std::string error;
    if (!CollectFolder(options.payload, "", rules, &entries, &error)) return Fail(error);
    if (!options.runtime.empty()) {
        for (const PayloadEntry &entry : entries)
            if (entry.name.compare(0, kRuntimePrefix.size(), kRuntimePrefix) == 0)
                return Fail(options.payload + " already holds package/jre; leave out --runtime "
                                              "or that folder");
        if (!CollectFolder(options.runtime, kRuntimePrefix, rules, &entries, &error))
            return Fail(error);
    }
    if (!FinishEntries(&entries, &error)) return Fail(error);
    for (const std::string &warning : CheckPayload(record, entries))
        std::cerr << "mksetup: warning: " << warning << "\n";

    uint32_t dosTime = 0;
    if (!EntryTime(std::getenv("SOURCE_DATE_EPOCH"), &dosTime, &error)) return Fail(error);

    Progress progress;
    uint64_t total = 0;
    for (const PayloadEntry &entry : entries) total += entry.size;
    if (!options.quiet && total >= kProgressThreshold && StderrIsTerminal()) {
        progress = [](uint64_t done, uint64_t all) {
            int filled = static_cast<int>(done * kBarWidth / all);
            std::fprintf(stderr, "\r[%-*s] %3d%% %llu of %llu MB", kBarWidth,
                         std::string(static_cast<size_t>(filled), '#').c_str(),
                         static_cast<int>(done * 100 / all),
                         static_cast<unsigned long long>(done >> 20),
                         static_cast<unsigned long long>(all >> 20));
            if (done == all) std::fputc('\n', stderr);
            std::fflush(stderr);
        };
    }

    // Written beside the output under a name of its own, then renamed: a
    // failure never leaves a half-written installer under the real name.
    fs::path out = options.out;
    fs::path temporary = out;
    temporary += ".mksetup-" + std::to_string(ProcessId()) + ".tmp";
    std::FILE *file = std::fopen(temporary.string().c_str(), "wb");
    if (file == nullptr)
        return Fail(options.out + ": cannot be written: " + std::strerror(errno));
    uint64_t length = 0;
    bool ok = WriteInstaller(file, stub, entries, dosTime, progress, &length, &error);
    if (std::fclose(file) != 0 && ok) {
        ok = false;
        error = std::string("cannot write the installer: ") + std::strerror(errno);
    }
    std::error_code ec;
    if (ok && fs::file_size(temporary, ec) != length) fs::resize_file(temporary, length, ec);
    if (ok && ec) {
        ok = false;
        error = options.out + ": cannot be written: " + ec.message();
    }
    if (ok) {
        fs::rename(temporary, out, ec);
        if (ec) {
            ok = false;
            error = options.out + ": cannot be written: " + ec.message();
        }
    }
    if (!ok) {
        fs::remove(temporary, ec);
        return Fail(error);
    }
    if (!options.quiet)
        std::cout << options.out << ": " << entries.size() << " entries, " << total
                  << " bytes of payload before compression, " << fs::file_size(out, ec)
                  << " bytes in all\n";
    return 0;
}

ZipArchive *OpenPayload(const std::string &path)
{
    ZipArchive *zip = zipOpen(path.c_str(), nullptr);
    if (zip == nullptr)
        std::cerr << "mksetup: " << path
                  << ": no payload found (not an installer, or its payload is damaged)\n";
    return zip;
}

int List(const std::string &path)
{
    ZipArchive *zip = OpenPayload(path);
    if (zip == nullptr) return 1;
    int status = 0;
    std::printf("%10s %10s  %-8s  %s\n", "size", "stored", "method", "name");
    for (int n = 0; n < zip->entryCount; ++n) {
        ZipEntry *entry = zipGetNextEntry(zip, n);
        if (entry == nullptr) {
            status = Fail(path + ": entry " + std::to_string(n) + " is damaged: " +
                          (zip->lastError ? zip->lastError : "unreadable"));
            break;
        }
        bool stored = entry->compressedSize == 0;
        std::printf("%10ld %10ld  %-8s  %s\n", static_cast<long>(entry->uncompressedSize),
                    static_cast<long>(stored ? entry->uncompressedSize : entry->compressedSize),
                    stored ? "stored" : "deflated", entry->entryName);
        zipFreeEntry(zip, entry);
    }
    zipClose(zip);
    return status;
}

int Verify(const std::string &path)
{
    ZipArchive *zip = OpenPayload(path);
    if (zip == nullptr) return 1;
    int bad = 0;
    for (int n = 0; n < zip->entryCount; ++n) {
        ZipEntry *entry = zipGetNextEntry(zip, n);
        if (entry == nullptr) {
            ++bad;
            std::cerr << "mksetup: " << path << ": entry " << n << " is damaged: "
                      << (zip->lastError ? zip->lastError : "unreadable") << "\n";
            continue;
        }
        const char *name = entry->entryName;
        bool directory = name[0] != '\0' && name[std::strlen(name) - 1] == '/';
        if (!zipIsSafeName(name)) {
            ++bad;
            std::cerr << "mksetup: " << path << ": " << name << ": the launcher refuses this name\n";
        } else if (!directory && !zipReadEntry(zip, entry, kNullDevice)) {
            ++bad;
            std::cerr << "mksetup: " << path << ": " << name
                      << ": the data does not match its CRC or size\n";
        }
        zipFreeEntry(zip, entry);
    }
    int entries = zip->entryCount;
    zipClose(zip);
    int32_t directoryAt = -1;
    int32_t signedEnd = SignedEnd(path, &directoryAt);
    if (bad > 0) return Fail(path + ": " + std::to_string(bad) + " of " +
                             std::to_string(entries) + " entries are damaged");
    std::cout << path << ": " << entries << " entries, every CRC matches; "
              << (signedEnd > 0 ? "a signature follows the payload" : "not signed") << "\n";
    return 0;
}

bool ParseCodePage(const char *text, unsigned *codePage)
{
    char *end = nullptr;
    unsigned long value = std::strtoul(text, &end, 10);
    if (*text == '\0' || *end != '\0' || value == 0 || value > 65535) return false;
    *codePage = static_cast<unsigned>(value);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    PackOptions pack;
    std::string list;
    std::string verify;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        std::string *target = nullptr;
        if (arg == "-h" || arg == "--help") {
            std::cout << kUsage;
            return 0;
        } else if (arg == "-q") {
            pack.quiet = true;
            continue;
        } else if (arg == "-o") {
            target = &pack.out;
        } else if (arg == "--stub") {
            target = &pack.stub;
        } else if (arg == "--payload") {
            target = &pack.payload;
        } else if (arg == "--runtime") {
            target = &pack.runtime;
        } else if (arg == "--list") {
            target = &list;
        } else if (arg == "--verify") {
            target = &verify;
        } else if (arg == "--codepage") {
            if (!hasValue) return Usage("--codepage needs a number");
            if (!ParseCodePage(argv[++i], &pack.codePage))
                return Usage(std::string("--codepage: not a code page number: ") + argv[i]);
            if (!CodePageIsKnown(pack.codePage))
                return Fail("code page " + std::to_string(pack.codePage) +
                            " is not known on this system");
            continue;
        } else {
            return Usage("unknown argument: " + arg);
        }
        if (!hasValue || argv[i + 1][0] == '\0') return Usage(arg + " needs a value");
        *target = argv[++i];
    }
    if (!list.empty()) return List(list);
    if (!verify.empty()) return Verify(verify);
    if (pack.out.empty() || pack.stub.empty() || pack.payload.empty())
        return Usage("-o, --stub and --payload are all needed to pack");
    return Pack(pack);
}
