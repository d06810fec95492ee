// mksetup: turns a folder into an installer (a launcher program with the
// folder appended as its ZIP payload), lists an installer's payload, and
// verifies it. The same source builds for Linux and for Windows.
//
//   mksetup -o OUT.exe --stub STUB.exe --payload DIR [--runtime JRE_DIR]
//           [--codepage N] [-q] [product values] [version, icon, manifest]
//           [@FILE]
//   mksetup --list INSTALLER
//   mksetup --verify INSTALLER
//
// The product values and the version resource, icon and manifest are
// written into the stub's resources by the packer itself (pe_resources.h),
// so a product team packs with nothing but the prebuilt programs.
//
// Exit status: 0 done, 1 failed (nothing written), 2 a usage error, or an
// installer that --strict refuses.
#include <cctype>
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
#include "branding.h"
#include "host.h"
#include "pe_resources.h"
#include "payload.h"
#include "base/mbcs.h"
#include "zip/archive.h"
#include "zip/entry_data.h"
#include "zip/entry_name.h"
#include "zip/fileio.h"
#include "zip/signed_image.h"

namespace fs = std::filesystem;

namespace {

const char kUsage[] =
    "usage: mksetup -o OUT.exe --stub STUB.exe --payload DIR [--runtime JRE_DIR]\n"
    "               [--compression zstd|deflate|store] [--level N] [--codepage N] [-q]\n"
    "       mksetup --list INSTALLER\n"
    "       mksetup --verify INSTALLER\n"
    "\n"
    "  -o OUT.exe        the installer to write (replaced only once it is complete)\n"
    "  --stub STUB.exe   the launcher program: setup.exe or conrun.exe\n"
    "  --payload DIR     the folder whose contents become the payload's top\n"
    "  --runtime DIR     a Java runtime folder, carried as package/jre\n"
    "  --compression M   zstd (the default where the stub reads it, else deflate),\n"
    "                    deflate or store\n"
    "  --level N         zstd 1 to 22 (default 19), deflate 1 to 9 (default 6)\n"
    "  --codepage N      the code page names are written in (default: UTF-8, flagged as such)\n"
    "  -q                no progress bar and no summary\n"
    "  --strict          refuse to pack an installer that still shows the launcher's\n"
    "                    own name, company, copyright or Java download page\n"
    "  --list            list the product values, the version texts and the payload\n"
    "  --verify          check every entry's CRC and whether a signature follows\n"
    "\n"
    "What the installer runs as (not given: what the stub was built with):\n"
    "  --main-class NAME         the wizard's Java main class\n"
    "  --class-path ELEMENTS     ';'-separated, beginning with '\\' (\\package\\acme.jar;.)\n"
    "  --download-url URL        where to get Java when none is found\n"
    "  --accept-modern-java      also accept Java 9 and later\n"
    "  --trace-variable NAME     the variable that names the trace file\n"
    "  --start-delay-ms N        how long the status window stays after Java starts\n"
    "What Windows shows of it (not given: the stub's):\n"
    "  --product-name TEXT, --product-version A.B.C.D, --company TEXT,\n"
    "  --description TEXT, --copyright TEXT   the version resource; the\n"
    "                    description follows the product name and the copyright\n"
    "                    (\"Copyright (C) COMPANY\") the company unless given\n"
    "  --icon FILE.ico           the program's icon, all its images\n"
    "  --execution-level asInvoker|highestAvailable|requireAdministrator\n"
    "  @FILE                     more options from FILE, one per line: \"--option value\"\n";

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
int64_t SignedEnd(const std::string &path, int32_t *directoryAt)
{
    int fd = fileOpen(fileSeamPath(path.c_str()).c_str(), FILEIO_RDONLY | FILEIO_BINARY, 0);
    if (fd < 0) return -1;
    int64_t end = zipSignedImageEnd(fd, fileSeek(fd, 0, SEEK_END), directoryAt);
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
    bool strict = false;      // the launcher's own identity refused, not only named
    std::string compression;  // as given: "zstd", "deflate", "store", or empty
    int level = 0;            // as given, or 0
    ProductValues values;  // the product values given
    Branding branding;
    std::string iconPath;
};

// Sets the PE checksum of the file at `path` over all of its bytes.
bool WriteChecksum(const fs::path &path, std::string *error)
{
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    std::string headers(4096, '\0');
    file.read(&headers[0], static_cast<std::streamsize>(headers.size()));
    headers.resize(static_cast<size_t>(file.gcount()));
    if (file.bad()) {
        *error = "cannot write the installer's checksum";
        return false;
    }
    const int64_t at = ChecksumFieldOffset(headers);
    if (at < 0 || at + 4 > static_cast<int64_t>(headers.size())) return true;
    file.clear();
    file.seekg(0);
    const uint32_t sum = ImageChecksum(
        [&](char *buffer, size_t size) {
            file.read(buffer, static_cast<std::streamsize>(size));
            return static_cast<size_t>(file.gcount());
        },
        at);
    file.clear();
    file.seekp(at);
    const char bytes[4] = {static_cast<char>(sum & 0xFF), static_cast<char>((sum >> 8) & 0xFF),
                           static_cast<char>((sum >> 16) & 0xFF), static_cast<char>(sum >> 24)};
    file.write(bytes, sizeof bytes);
    file.flush();
    if (!file) {
        *error = "cannot write the installer's checksum";
        return false;
    }
    return true;
}

// The stub with the product values and branding of `options` in its
// resources (`resources`, the stub's as read); the stub as it is when
// neither is given.
bool BrandStub(const PackOptions &options, std::vector<Resource> resources, std::string *stub,
               std::string *error)
{
    if (options.values.items.empty() && !options.branding.Any()) return true;
    if (!options.values.items.empty()) {
        ProductValues values;
        if (!CarriedProductValues(resources, &values, error)) {
            *error = options.stub + ": " + *error;
            return false;
        }
        for (const auto &item : options.values.items) values.Set(item.first, item.second);
        SetProductValues(values, &resources);
    }
    if (!ApplyBranding(options.branding, fs::path(options.out).filename().u8string(), &resources,
                       error) ||
        !WriteResources(*stub, resources, stub, error)) {
        *error = options.stub + ": " + *error;
        return false;
    }
    return true;
}

// What the installer will run as: the stub's product record, what the stub
// carries from an earlier packing, then what is given.
ProductValues EffectiveValues(const ProductValues &record, const std::vector<Resource> &resources,
                              const ProductValues &given)
{
    ProductValues values = record;
    ProductValues carried;
    std::string ignored;
    if (CarriedProductValues(resources, &carried, &ignored))
        for (const auto &item : carried.items) values.Set(item.first, item.second);
    for (const auto &item : given.items) values.Set(item.first, item.second);
    return values;
}

// The methods `stub` extracts, from its methods line; a program built
// before that line reads stored and deflated entries alone.
bool StubReadsZstd(const std::string &stub)
{
    const std::string tag = "LAUNCHER-READS-METHODS ";
    const size_t at = stub.find(tag);
    if (at == std::string::npos) return false;
    const size_t end = stub.find('\n', at);
    const std::string methods = " " + stub.substr(at + tag.size(), end - at - tag.size()) + " ";
    return methods.find(" 93 ") != std::string::npos;
}

// The method and level to pack with: as given, else Zstandard at level 19
// where the stub reads it, deflate where it does not (with a note).
bool ChooseCompression(const PackOptions &options, const std::string &stub,
                       Compression *compression, std::string *error)
{
    const bool readsZstd = StubReadsZstd(stub);
    if (options.compression == "zstd" || options.compression.empty()) {
        compression->method = kZipZstd;
        compression->level = 19;
    } else if (options.compression == "deflate") {
        compression->method = kZipDeflated;
        compression->level = 6;
    } else {
        compression->method = kZipStored;
        compression->level = 0;
    }
    if (compression->method == kZipZstd && !readsZstd) {
        if (!options.compression.empty()) {
            *error = options.stub + ": this launcher cannot read Zstandard entries; pack with "
                                    "--compression deflate";
            return false;
        }
        if (!options.quiet)
            std::cerr << "mksetup: " << options.stub
                      << ": this launcher reads no Zstandard entries: packing with deflate\n";
        compression->method = kZipDeflated;
        compression->level = 6;
        if (options.level > 9) {
            *error = "--level " + std::to_string(options.level) +
                     " is not a level of deflate, which this launcher needs";
            return false;
        }
    }
    if (options.level != 0) compression->level = options.level;
    return true;
}

int Pack(const PackOptions &options)
{
    std::string stub;
    if (!ReadFileBytes(options.stub, &stub)) return Fail(options.stub + ": cannot be read");
    ProductValues record;
    std::string error;
    if (stub.rfind("MZ", 0) != 0 || !FindProductRecord(stub, &record, &error)) {
        if (!error.empty())
            return Fail(options.stub + ": its built-in values cannot be used: " + error);
        return Fail(options.stub + ": not one of the launcher's programs (setup.exe or "
                                   "conrun.exe built from this source)");
    }
    std::vector<Resource> stubResources;
    if (!ReadResources(stub, &stubResources, &error)) return Fail(options.stub + ": " + error);
    const ProductValues values = EffectiveValues(record, stubResources, options.values);
    // An installer as the stub would carry two payloads, one of them dead.
    if (ZipArchive *carried = zipOpen(options.stub.c_str(), nullptr)) {
        zipClose(carried);
        return Fail(options.stub + ": already carries a payload; pack behind the plain program");
    }
    // A signed stub's signature would end up in front of the payload, where
    // it signs nothing: drop it; the installer is signed after packing.
    int32_t directoryAt = -1;
    int64_t signedEnd = SignedEnd(options.stub, &directoryAt);
    if (signedEnd > 0 && (!options.values.items.empty() || options.branding.Any()))
        return Fail(options.stub + ": signed; its resources cannot change under a signature: "
                                   "pack the unsigned program and sign after packing");
    if (signedEnd > 0) {
        stub.resize(static_cast<size_t>(signedEnd));
        stub.replace(static_cast<size_t>(directoryAt), kDirectoryEntrySize, kDirectoryEntrySize,
                     '\0');
        if (!options.quiet)
            std::cerr << "mksetup: " << options.stub
                      << ": its signature is left out; sign the installer instead\n";
    }

    Compression compression;
    if (!ChooseCompression(options, stub, &compression, &error)) return Fail(error);
    if (!BrandStub(options, stubResources, &stub, &error)) return Fail(error);
    std::vector<Resource> branded;
    if (!ReadResources(stub, &branded, &error)) return Fail(options.stub + ": " + error);
    // Named once the installer is written (a pack that fails says why
    // alone); --strict refuses at once.
    const std::vector<std::string> ownIdentity = LauncherIdentityShown(branded, values);
    if (options.strict && !ownIdentity.empty()) {
        for (const std::string &line : ownIdentity) std::cerr << "mksetup: " << line << "\n";
        std::cerr << "mksetup: --strict: nothing written\n";
        return 2;
    }

    NameRules rules;
    rules.codePage = options.codePage;
    std::vector<PayloadEntry> entries;
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
    for (const std::string &warning :
         CheckPayload(*values.Find("main-class"), *values.Find("class-path"), entries))
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
    std::FILE *file = CreateNewFile(temporary);
    if (file == nullptr)
        return Fail(options.out + ": cannot be written: " + std::strerror(errno));
    uint64_t length = 0;
    bool ok = WriteInstaller(file, stub, entries, dosTime, compression, progress, &length, &error);
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
    if (ok) ok = WriteChecksum(temporary, &error);
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
    for (const std::string &line : ownIdentity) std::cerr << "mksetup: warning: " << line << "\n";
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

// What the installer runs as and what Windows shows of it.
void ListProduct(const std::string &path)
{
    std::string program;
    ProductValues record;
    if (!ReadFileBytes(path, &program) || !FindProductRecord(program, &record)) return;
    std::vector<Resource> resources;
    std::string error;
    ReadResources(program, &resources, &error);
    ProductValues carried;
    if (!CarriedProductValues(resources, &carried, &error))
        std::printf("product values: damaged: %s\n", error.c_str());
    const ProductValues values = EffectiveValues(record, resources, ProductValues());
    for (const auto &item : values.items)
        std::printf("%-20s %s%s\n", item.first.c_str(), item.second.c_str(),
                    carried.Find(item.first) == nullptr ||
                            IsLauncherOwnValue(item.first, item.second)
                        ? "  (built in)"
                        : "");
    for (const auto &item : VersionStrings(resources))
        std::printf("%-20s %s%s\n", item.first.c_str(), item.second.c_str(),
                    IsLauncherOwnValue(item.first, item.second) ? "  (built in)" : "");
    const std::string level = ManifestExecutionLevel(resources);
    std::printf("%-20s %s\n", "execution level", level.empty() ? "(none declared)" : level.c_str());
    const Resource *group = FindResource(resources, kResourceGroupIcon);
    std::printf("%-20s %s\n", "icon",
                group == nullptr || group->data.size() < 6
                    ? "(none)"
                    : (std::to_string(static_cast<unsigned char>(group->data[4])) + " images").c_str());
    std::printf("\n");
}

int List(const std::string &path)
{
    ZipArchive *zip = OpenPayload(path);
    if (zip == nullptr) return 1;
    ListProduct(path);
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
        std::printf("%10lld %10lld  %-8s  %s\n", static_cast<long long>(entry->uncompressedSize),
                    static_cast<long long>(stored ? entry->uncompressedSize : entry->compressedSize),
                    stored ? "stored" : entry->method == kZipZstd ? "zstd" : "deflated",
                    entry->entryName);
        zipFreeEntry(zip, entry);
    }
    zipClose(zip);
    return status;
}

// True for the names of programs and libraries Windows loads: what
// application control judges by signature.
bool IsExecutableName(const std::string &name)
{
    if (name.size() < 4) return false;
    std::string tail = name.substr(name.size() - 4);
    for (char &c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == ".exe" || tail == ".dll";
}

// True when the program or library in the file at `path` carries a
// signature (a certificate table at its end).
bool CarriesSignature(const std::string &path)
{
    const int fd = fileOpen(fileSeamPath(path.c_str()).c_str(), FILEIO_RDONLY | FILEIO_BINARY, 0);
    if (fd < 0) return false;
    const bool signedImage = zipSignedImageEnd(fd, fileSeek(fd, 0, SEEK_END), nullptr) > 0;
    fileClose(fd);
    return signedImage;
}

int Verify(const std::string &path)
{
    ZipArchive *zip = OpenPayload(path);
    if (zip == nullptr) return 1;
    // Programs and libraries are decoded into a file of their own, to read
    // their signature back; everything else is only checked.
    std::error_code ec;
    const fs::path scratch = fs::temp_directory_path(ec) /
                             ("mksetup-verify-" + std::to_string(ProcessId()) + ".bin");
    int bad = 0;
    std::vector<std::string> unsignedPrograms;
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
        const bool program = !directory && !ec && IsExecutableName(name);
        const std::string target = program ? scratch.u8string() : std::string(kNullDevice);
        std::string extracted;
        if (!zipEntryExtractionName(name, entry->flags, LauncherCodePage(), &extracted)) {
            ++bad;
            std::cerr << "mksetup: " << path << ": " << name << ": the launcher refuses this name\n";
        } else if (!directory && !zipReadEntry(zip, entry, target.c_str())) {
            ++bad;
            std::cerr << "mksetup: " << path << ": " << name
                      << ": the data does not match its CRC or size\n";
        } else if (program && !CarriesSignature(target)) {
            unsignedPrograms.push_back(name);
        }
        zipFreeEntry(zip, entry);
    }
    if (!ec) fs::remove(scratch, ec);
    int entries = zip->entryCount;
    zipClose(zip);
    int32_t directoryAt = -1;
    int64_t signedEnd = SignedEnd(path, &directoryAt);
    if (bad > 0) return Fail(path + ": " + std::to_string(bad) + " of " +
                             std::to_string(entries) + " entries are damaged");
    for (const std::string &name : unsignedPrograms)
        std::cerr << "mksetup: warning: " << path << ": " << name
                  << " carries no signature (machines that allow only signed programs refuse "
                     "it when it starts from the temporary folder); sign it before packing\n";
    std::cout << path << ": " << entries << " entries, every CRC matches; "
              << (signedEnd > 0 ? "a signature follows the payload" : "not signed") << "\n";
    return 0;
}

// The arguments of an @FILE: one option a line, "--option value" (the
// value is the rest of the line; quotes around it are taken off) or a lone
// "--option"; blank lines and lines beginning with "#" are passed over.
bool ReadArgumentFile(const std::string &path, std::vector<std::string> *args, std::string *error)
{
    std::string text;
    if (!ReadFileBytes(fs::u8path(path), &text)) {
        *error = "@" + path + ": cannot be read";
        return false;
    }
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.pop_back();
        const size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') continue;
        line.erase(0, first);
        const size_t space = line.find_first_of(" \t");
        args->push_back(line.substr(0, space));
        if (space == std::string::npos) continue;
        std::string value = line.substr(line.find_first_not_of(" \t", space));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        args->push_back(value);
    }
    return true;
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

// The options that set a product value, and their keys.
const std::pair<const char *, const char *> kValueOptions[] = {
    {"--main-class", "main-class"},
    {"--class-path", "class-path"},
    {"--download-url", "download-url"},
    {"--trace-variable", "trace-variable"},
    {"--start-delay-ms", "start-delay-ms"},
};

int main(int argc, char **argv)
{
    PackOptions pack;
    std::string list;
    std::string verify;
    // @FILE arguments stand for the options in the file, in their place.
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        std::string error;
        if (argv[i][0] == '@' && argv[i][1] != '\0') {
            if (!ReadArgumentFile(argv[i] + 1, &args, &error)) return Fail(error);
        } else {
            args.push_back(argv[i]);
        }
    }
    std::string value;
    std::string *brandingText = nullptr;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        bool hasValue = i + 1 < args.size();
        std::string *target = nullptr;
        const char *key = nullptr;
        for (const auto &option : kValueOptions)
            if (arg == option.first) key = option.second;
        brandingText = arg == "--product-name"      ? &pack.branding.productName
                       : arg == "--product-version" ? &pack.branding.productVersion
                       : arg == "--company"         ? &pack.branding.company
                       : arg == "--description"     ? &pack.branding.description
                       : arg == "--copyright"       ? &pack.branding.copyright
                       : arg == "--execution-level" ? &pack.branding.executionLevel
                                                    : nullptr;
        if (key != nullptr || brandingText != nullptr || arg == "--icon") {
            if (!hasValue) return Usage(arg + " needs a value");
            value = args[++i];
            // Texts go into the resources as UTF-16; the icon is a file name.
            if (brandingText != nullptr) value = ArgumentAsUtf8(value);
            const std::string why = key != nullptr ? ProductValueError(key, value)
                                    : brandingText != nullptr ? BrandingValueError(arg, value)
                                                              : std::string();
            if (!why.empty()) return Fail(arg + ": \"" + value + "\" " + why);
            if (key != nullptr) {
                pack.values.Set(key, value);
            } else if (brandingText != nullptr) {
                *brandingText = value;
            } else {
                if (!ReadFileBytes(fs::u8path(value), &pack.branding.iconFile))
                    return Fail("--icon: " + value + ": cannot be read");
                const std::string bad = IconFileError(pack.branding.iconFile);
                if (!bad.empty()) return Fail("--icon: " + value + " " + bad);
            }
            continue;
        }
        if (arg == "--accept-modern-java") {
            pack.values.Set("accept-modern-java", "1");
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            std::cout << kUsage;
            return 0;
        } else if (arg == "-q") {
            pack.quiet = true;
            continue;
        } else if (arg == "--strict") {
            pack.strict = true;
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
        } else if (arg == "--compression") {
            if (!hasValue) return Usage("--compression needs a value");
            pack.compression = args[++i];
            if (pack.compression != "zstd" && pack.compression != "deflate" &&
                pack.compression != "store")
                return Usage("--compression: zstd, deflate or store, not " + pack.compression);
            continue;
        } else if (arg == "--level") {
            if (!hasValue) return Usage("--level needs a number");
            char *end = nullptr;
            const long level = std::strtol(args[++i].c_str(), &end, 10);
            if (end == args[i].c_str() || *end != '\0' || level < 1 || level > 22)
                return Usage("--level: not a level from 1 to 22: " + args[i]);
            pack.level = static_cast<int>(level);
            continue;
        } else if (arg == "--codepage") {
            if (!hasValue) return Usage("--codepage needs a number");
            if (!ParseCodePage(args[++i].c_str(), &pack.codePage))
                return Usage("--codepage: not a code page number: " + args[i]);
            if (!CodePageIsKnown(pack.codePage))
                return Fail("code page " + std::to_string(pack.codePage) +
                            " is not known on this system");
            continue;
        } else {
            return Usage("unknown argument: " + arg);
        }
        if (!hasValue || args[i + 1].empty()) return Usage(arg + " needs a value");
        *target = args[++i];
    }
    if (!list.empty()) return List(list);
    if (!verify.empty()) return Verify(verify);
    if (pack.out.empty() || pack.stub.empty() || pack.payload.empty())
        return Usage("-o, --stub and --payload are all needed to pack");
    // A product's name describes its installer, and its company holds the
    // copyright, unless the options say otherwise.
    Branding &branding = pack.branding;
    if (branding.description.empty()) branding.description = branding.productName;
    if (branding.copyright.empty() && !branding.company.empty()) {
        branding.copyright = "Copyright (C) " + branding.company;
        const std::string why = BrandingValueError("--copyright", branding.copyright);
        if (!why.empty())
            return Fail("--company: \"" + branding.copyright + "\" " + why + "; give --copyright");
    }
    int lowest = 0;
    int highest = 0;
    CompressionLevels(pack.compression == "deflate" ? kZipDeflated
                      : pack.compression == "store" ? kZipStored
                                                    : kZipZstd,
                      &lowest, &highest);
    if (pack.level != 0 && (pack.level < lowest || pack.level > highest))
        return Usage("--level: " + std::to_string(pack.level) + " is not a level of " +
                     (pack.compression.empty() ? std::string("zstd") : pack.compression) +
                     (highest == 0 ? " (it has none)"
                                   : " (" + std::to_string(lowest) + " to " +
                                         std::to_string(highest) + ")"));
    return Pack(pack);
}
