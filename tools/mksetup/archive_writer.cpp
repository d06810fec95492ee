// Implementation notes.
//
// Each file is read whole and deflated in one call before its local header
// is written, so the header carries the real sizes and CRC and no data
// descriptors are needed: the launcher's reader takes sizes from the central
// directory, but other tools read local headers too.
//
// The launcher's reader keeps offsets and sizes in signed 32 bits and at
// most 65534 entries; anything beyond is refused here rather than written
// as an installer that cannot run.
//
// Signing tools pad the file to a multiple of 8 bytes before the
// certificate table; the archive's end record must end right where that
// table begins, so the archive comment takes up that padding instead.
#include "archive_writer.h"

#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <limits>

#include <zlib.h>

namespace {

const uint64_t kMaxOffset = std::numeric_limits<int32_t>::max();
const size_t kMaxEntries = 65534;
const uint16_t kVersion = 20;           // 2.0: deflate, directories
const uint32_t kDirectoryAttribute = 0x10;
const uint32_t kFixedDosTime = (20u << 25) | (1u << 21) | (1u << 16);  // 2000-01-01 00:00
const unsigned kSigningAlignment = 8;

void Put16(std::string &out, uint32_t value)
{
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

void Put32(std::string &out, uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

struct Written {
    uint16_t method;
    uint32_t crc;
    uint32_t compressed;
    uint32_t size;
    uint32_t offset;
};

// The fields the local and the central header share, from "version needed
// to extract" to the extra field's length (none).
void PutEntryFields(std::string &out, const Written &w, uint32_t dosTime, size_t nameLength)
{
    Put16(out, kVersion);
    Put16(out, 0);
    Put16(out, w.method);
    Put32(out, dosTime);
    Put32(out, w.crc);
    Put32(out, w.compressed);
    Put32(out, w.size);
    Put16(out, static_cast<uint32_t>(nameLength));
    Put16(out, 0);
}

bool ReadWhole(const PayloadEntry &entry, std::string *data, std::string *error)
{
    std::ifstream in(entry.source, std::ios::binary);
    if (!in) {
        *error = entry.source.u8string() + ": cannot be read";
        return false;
    }
    data->resize(static_cast<size_t>(entry.size));
    if (!data->empty()) in.read(&(*data)[0], static_cast<std::streamsize>(data->size()));
    // A file that changed size since it was listed is not packed half.
    if (!in || in.peek() != std::char_traits<char>::eof()) {
        *error = entry.source.u8string() + ": cannot be read (did it change while packing?)";
        return false;
    }
    return true;
}

// Raw deflate of `data`; false when it does not come out smaller.
bool Deflate(const std::string &data, std::string *out)
{
    if (data.empty()) return false;
    z_stream stream = {};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8,
                     Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    out->resize(deflateBound(&stream, static_cast<uLong>(data.size())));
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef *>(&(*out)[0]);
    stream.avail_out = static_cast<uInt>(out->size());
    int rc = deflate(&stream, Z_FINISH);
    out->resize(stream.total_out);
    deflateEnd(&stream);
    return rc == Z_STREAM_END && out->size() < data.size();
}

bool Write(std::FILE *out, const std::string &bytes, std::string *error)
{
    if (bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size())
        return true;
    *error = std::string("cannot write the installer: ") + std::strerror(errno);
    return false;
}

} // namespace

bool EntryTime(const char *sourceDateEpoch, uint32_t *dosTime, std::string *error)
{
    if (sourceDateEpoch == nullptr || *sourceDateEpoch == '\0') {
        *dosTime = kFixedDosTime;
        return true;
    }
    char *end = nullptr;
    errno = 0;
    long long seconds = std::strtoll(sourceDateEpoch, &end, 10);
    if (*end != '\0' || errno != 0 || seconds < 0) {
        *error = std::string("SOURCE_DATE_EPOCH is not a number of seconds: ") + sourceDateEpoch;
        return false;
    }
    // MS-DOS dates run from 1980 to 2107.
    const long long first = 315532800;   // 1980-01-01 00:00:00 UTC
    const long long last = 4354819198LL; // 2107-12-31 23:59:58 UTC
    if (seconds < first) seconds = first;
    if (seconds > last) seconds = last;
    long long days = seconds / 86400;
    long long rest = seconds % 86400;
    // Civil date from days since 1970-01-01 (proleptic Gregorian).
    long long z = days + 719468;
    long long era = z / 146097;
    long long doe = z - era * 146097;
    long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    long long mp = (5 * doy + 2) / 153;
    long long day = doy - (153 * mp + 2) / 5 + 1;
    long long month = mp < 10 ? mp + 3 : mp - 9;
    long long year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    uint32_t date = static_cast<uint32_t>(((year - 1980) << 9) | (month << 5) | day);
    uint32_t time = static_cast<uint32_t>(((rest / 3600) << 11) | (((rest / 60) % 60) << 5) |
                                          ((rest % 60) / 2));
    *dosTime = (date << 16) | time;
    return true;
}

bool WriteInstaller(std::FILE *out, const std::string &stub,
                    const std::vector<PayloadEntry> &entries, uint32_t dosTime,
                    const Progress &progress, std::string *error)
{
    if (entries.size() > kMaxEntries) {
        *error = "the payload has " + std::to_string(entries.size()) +
                 " files and folders; the launcher reads at most " + std::to_string(kMaxEntries);
        return false;
    }
    uint64_t total = 0;
    for (const PayloadEntry &entry : entries) total += entry.size;
    const std::string tooLarge = "the installer would reach 2 GiB; the launcher reads less";

    if (!Write(out, stub, error)) return false;
    uint64_t position = stub.size();
    uint64_t done = 0;
    std::vector<Written> written;
    std::string data;
    std::string packed;
    for (const PayloadEntry &entry : entries) {
        Written w = {0, 0, 0, 0, static_cast<uint32_t>(position)};
        const std::string *body = &data;
        data.clear();
        if (!entry.source.empty()) {
            if (entry.size > kMaxOffset) {
                *error = entry.source.u8string() + ": " + tooLarge;
                return false;
            }
            if (!ReadWhole(entry, &data, error)) return false;
            w.crc = static_cast<uint32_t>(
                crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef *>(data.data()),
                      static_cast<uInt>(data.size())));
            if (Deflate(data, &packed)) {
                w.method = 8;
                body = &packed;
            }
            w.size = static_cast<uint32_t>(data.size());
            w.compressed = static_cast<uint32_t>(body->size());
        }
        std::string header;
        Put32(header, 0x04034B50);
        PutEntryFields(header, w, dosTime, entry.name.size());
        header += entry.name;
        position += header.size() + body->size();
        if (position > kMaxOffset) {
            *error = tooLarge;
            return false;
        }
        if (!Write(out, header, error) || !Write(out, *body, error)) return false;
        written.push_back(w);
        done += entry.size;
        if (progress) progress(done, total);
    }

    std::string central;
    for (size_t i = 0; i < entries.size(); ++i) {
        const Written &w = written[i];
        Put32(central, 0x02014B50);
        Put16(central, kVersion);  // made by MS-DOS: attributes are DOS attributes
        PutEntryFields(central, w, dosTime, entries[i].name.size());
        Put16(central, 0);
        Put16(central, 0);
        Put16(central, 0);
        Put32(central, entries[i].source.empty() ? kDirectoryAttribute : 0);
        Put32(central, w.offset);
        central += entries[i].name;
    }
    uint64_t end = position + central.size() + 22;
    unsigned padding = static_cast<unsigned>((kSigningAlignment - end % kSigningAlignment) %
                                             kSigningAlignment);
    if (end + padding > kMaxOffset) {
        *error = tooLarge;
        return false;
    }
    std::string record;
    Put32(record, 0x06054B50);
    Put16(record, 0);
    Put16(record, 0);
    Put16(record, static_cast<uint32_t>(entries.size()));
    Put16(record, static_cast<uint32_t>(entries.size()));
    Put32(record, static_cast<uint32_t>(central.size()));
    Put32(record, static_cast<uint32_t>(position));
    Put16(record, padding);
    record.append(padding, ' ');
    return Write(out, central, error) && Write(out, record, error);
}
