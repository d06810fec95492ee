// Implementation notes.
//
// The resource directory is a tree of three levels (type, name, language)
// whose leaves point at data by RVA. Reading walks it with every offset
// checked against the section; writing lays the tree out afresh: all
// directory tables breadth first, then the data entries, the names and the
// data, each piece aligned. Within a table named entries come first, sorted
// by name, then numbered ones by number, as the system's binary search
// expects.
//
// The new section keeps the old one's RVA and file position. What follows
// it in the image moves by whole alignment units: in the programs the
// linker makes, only the base relocations and debugging sections do, and
// code refers to neither by address (the relocations are found through
// their data directory, which is updated). A section that is neither is
// left where it is and the edit refused.
#include "pe_resources.h"

#include "base/little_endian.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>

namespace {

const uint32_t kDiscardable = 0x02000000;
const int kResourceDirectory = 2;
const int kSecurityDirectory = 4;
const int kRelocationDirectory = 5;
const size_t kSectionHeader = 40;
const uint32_t kSubdirectory = 0x80000000;

uint32_t AlignUp(uint32_t value, uint32_t alignment)
{
    return alignment == 0 ? value : (value + alignment - 1) / alignment * alignment;
}

// The parts of the headers the edit reads and writes.
struct Layout {
    size_t pe = 0;             // "PE\0\0"
    size_t optional = 0;       // the optional header
    size_t directories = 0;    // the data directories
    uint32_t directoryCount = 0;
    size_t sections = 0;       // the section table
    uint16_t sectionCount = 0;
    uint32_t sectionAlignment = 0;
    uint32_t fileAlignment = 0;
};

bool ReadLayout(const std::string &image, Layout *layout, std::string *error)
{
    *error = "not a Windows program (no valid PE header)";
    if (image.size() < 0x40 || image.compare(0, 2, "MZ") != 0) return false;
    layout->pe = GetLe32(image, 0x3C);
    if (layout->pe + 24 + 2 > image.size() || image.compare(layout->pe, 4, std::string("PE\0\0", 4)) != 0)
        return false;
    layout->sectionCount = GetLe16(image, layout->pe + 6);
    const uint16_t optionalSize = GetLe16(image, layout->pe + 20);
    layout->optional = layout->pe + 24;
    const uint16_t magic = GetLe16(image, layout->optional);
    size_t countAt;
    if (magic == 0x10B) {
        countAt = 92;
    } else if (magic == 0x20B) {
        countAt = 108;
    } else {
        return false;
    }
    if (layout->optional + optionalSize > image.size() || countAt + 4 > optionalSize) return false;
    layout->directoryCount = GetLe32(image, layout->optional + countAt);
    layout->directories = layout->optional + countAt + 4;
    if (layout->directoryCount > 16 ||
        layout->directories + 8 * layout->directoryCount > layout->optional + optionalSize)
        return false;
    layout->sectionAlignment = GetLe32(image, layout->optional + 32);
    layout->fileAlignment = GetLe32(image, layout->optional + 36);
    layout->sections = layout->optional + optionalSize;
    if (layout->sections + kSectionHeader * layout->sectionCount > image.size()) return false;
    // The edit moves sections by whole units of the file alignment: a unit
    // of 0 or one that wraps would cut sections off.
    auto powerOfTwo = [](uint32_t n) { return n != 0 && (n & (n - 1)) == 0; };
    if (!powerOfTwo(layout->fileAlignment) || layout->fileAlignment < 512 ||
        layout->fileAlignment > 65536 || !powerOfTwo(layout->sectionAlignment) ||
        layout->sectionAlignment < layout->fileAlignment) {
        *error = "the program's file alignment is not a power of two from 512 to 64 KiB";
        return false;
    }
    error->clear();
    return true;
}

struct Section {
    size_t header;  // where its header lies
    uint32_t virtualSize, rva, rawSize, rawAt, characteristics;
};

Section ReadSection(const std::string &image, const Layout &layout, int i)
{
    const size_t h = layout.sections + kSectionHeader * static_cast<size_t>(i);
    return {h, GetLe32(image, h + 8), GetLe32(image, h + 12), GetLe32(image, h + 16), GetLe32(image, h + 20),
            GetLe32(image, h + 36)};
}

// The index of the section holding the resource directory; -1 for none.
int ResourceSection(const std::string &image, const Layout &layout, uint32_t *rva)
{
    if (layout.directoryCount <= kResourceDirectory) return -1;
    *rva = GetLe32(image, layout.directories + 8 * kResourceDirectory);
    if (*rva == 0) return -1;
    for (int i = 0; i < layout.sectionCount; ++i) {
        const Section s = ReadSection(image, layout, i);
        if (*rva >= s.rva && *rva < s.rva + std::max(s.virtualSize, s.rawSize)) return i;
    }
    return -1;
}

// Refuses a resource section the edit cannot rewrite in place: one that
// lies in the headers (at file position 0, or before their end), or whose
// bytes overlap another section's.
bool CheckResourceSection(const std::string &image, const Layout &layout, int index,
                          std::string *error)
{
    const Section rsrc = ReadSection(image, layout, index);
    const uint64_t headersEnd = layout.sections + kSectionHeader * layout.sectionCount;
    if (rsrc.rawAt == 0 || rsrc.rawAt < headersEnd) {
        *error = "the program's headers lie after its resource section";
        return false;
    }
    for (int i = 0; i < layout.sectionCount; ++i) {
        const Section s = ReadSection(image, layout, i);
        if (s.rawSize != 0 && s.rawAt % layout.fileAlignment != 0) {
            // The sections behind the resources move by whole units.
            *error = "a section of the program does not start on its file alignment";
            return false;
        }
        if (s.rawAt == 0 && s.rawSize != 0 && i != index) {
            *error = "a section of the program claims bytes at the start of the file";
            return false;
        }
        if (s.rawSize != 0 && static_cast<uint64_t>(s.rawAt) + s.rawSize > image.size()) {
            *error = "a section of the program lies beyond the end of the file";
            return false;
        }
        if (i == index || s.rawSize == 0 || s.rawAt == 0) continue;
        if (static_cast<uint64_t>(s.rawAt) < static_cast<uint64_t>(rsrc.rawAt) + rsrc.rawSize &&
            static_cast<uint64_t>(rsrc.rawAt) < static_cast<uint64_t>(s.rawAt) + s.rawSize) {
            *error = "the program's resource section overlaps another section";
            return false;
        }
        if ((i < index) != (s.rawAt < rsrc.rawAt)) {
            // What lies behind the resources moves, found by its place in
            // the table.
            *error = "the program's sections are not in the order of their bytes";
            return false;
        }
    }
    return true;
}

// Walks the resource tree of the section bytes `bytes` (at RVA `base`).
class TreeReader {
public:
    TreeReader(const std::string &bytes, uint32_t base) : bytes_(bytes), base_(base) {}

    bool Read(std::vector<Resource> *out, std::string *error)
    {
        Resource r;
        if (Directory(0, 0, &r, out)) return true;
        *error = shared_ ? "the program's resource directory shares a table between two places"
                 : out->size() > kMostResources
                     ? "the program has more resources than " + std::to_string(kMostResources)
                     : "the program's resource directory is damaged";
        return false;
    }

private:
    bool Fits(size_t at, size_t size) const { return at <= bytes_.size() && size <= bytes_.size() - at; }

    bool Name(uint32_t field, ResourceId *id) const
    {
        if (!(field & kSubdirectory)) {
            *id = ResourceId::Number(static_cast<uint16_t>(field));
            return field <= 0xFFFF;
        }
        const size_t at = field & ~kSubdirectory;
        if (!Fits(at, 2)) return false;
        const size_t length = GetLe16(bytes_, at);
        if (!Fits(at + 2, 2 * length)) return false;
        id->named = true;
        id->name.clear();
        for (size_t i = 0; i < length; ++i) id->name.push_back(static_cast<char16_t>(GetLe16(bytes_, at + 2 + 2 * i)));
        return true;
    }

    bool Directory(size_t at, int level, Resource *r, std::vector<Resource> *out)
    {
        if (level > 2 || !Fits(at, 16)) return false;
        // Every table and data entry is reached once: a table shared by
        // two entries, or one that contains itself, would multiply the
        // resources or never end.
        if (!seen_.insert(at).second) {
            shared_ = true;
            return false;
        }
        const size_t count = static_cast<size_t>(GetLe16(bytes_, at + 12)) + GetLe16(bytes_, at + 14);
        if (!Fits(at + 16, 8 * count)) return false;
        for (size_t i = 0; i < count; ++i) {
            const size_t entry = at + 16 + 8 * i;
            ResourceId id;
            if (!Name(GetLe32(bytes_, entry), &id)) return false;
            if (level == 0) r->type = id;
            if (level == 1) r->name = id;
            if (level == 2) r->language = id.number;
            const uint32_t target = GetLe32(bytes_, entry + 4);
            if (target & kSubdirectory) {
                if (level == 2 || !Directory(target & ~kSubdirectory, level + 1, r, out)) return false;
                continue;
            }
            if (level != 2 || !Fits(target, 16) || out->size() >= kMostResources) return false;
            if (!seen_.insert(target).second) {
                shared_ = true;
                return false;
            }
            const uint32_t rva = GetLe32(bytes_, target);
            const uint32_t size = GetLe32(bytes_, target + 4);
            if (rva < base_ || !Fits(rva - base_, size)) return false;
            r->codePage = GetLe32(bytes_, target + 8);
            r->data = bytes_.substr(rva - base_, size);
            out->push_back(*r);
        }
        return true;
    }

    const std::string &bytes_;
    uint32_t base_;
    std::set<size_t> seen_;  // tables and data entries reached
    bool shared_ = false;
};

bool IdLess(const ResourceId &a, const ResourceId &b)
{
    if (a.named != b.named) return a.named;
    return a.named ? a.name < b.name : a.number < b.number;
}

// The resource section for `resources` at RVA `base`.
std::string LayOut(const std::vector<Resource> &resources, uint32_t base)
{
    // type -> name -> language -> resource
    struct Less {
        bool operator()(const ResourceId &a, const ResourceId &b) const { return IdLess(a, b); }
    };
    std::map<ResourceId, std::map<ResourceId, std::map<uint16_t, const Resource *>, Less>, Less> tree;
    for (const Resource &r : resources) tree[r.type][r.name][r.language] = &r;

    auto table = [](size_t entries) { return 16 + 8 * entries; };
    size_t tables = table(tree.size());
    size_t leaves = 0;
    for (const auto &type : tree) {
        tables += table(type.second.size());
        for (const auto &name : type.second) {
            tables += table(name.second.size());
            leaves += name.second.size();
        }
    }
    const size_t entriesAt = tables;
    size_t stringsAt = entriesAt + 16 * leaves;
    std::string strings;
    std::map<std::u16string, size_t> stringOffsets;
    auto nameField = [&](const ResourceId &id) -> uint32_t {
        if (!id.named) return id.number;
        auto found = stringOffsets.find(id.name);
        if (found == stringOffsets.end()) {
            found = stringOffsets.emplace(id.name, stringsAt + strings.size()).first;
            std::string s(2 + 2 * id.name.size(), '\0');
            SetLe16(s, 0, static_cast<uint32_t>(id.name.size()));
            for (size_t i = 0; i < id.name.size(); ++i) SetLe16(s, 2 + 2 * i, id.name[i]);
            strings += s;
        }
        return static_cast<uint32_t>(found->second) | kSubdirectory;
    };
    // The names first, so that their offsets are known; then the data.
    for (const auto &type : tree) {
        nameField(type.first);
        for (const auto &name : type.second) nameField(name.first);
    }
    const size_t dataAt = AlignUp(static_cast<uint32_t>(stringsAt + strings.size()), 8);

    std::string out(dataAt, '\0');
    out.replace(stringsAt, strings.size(), strings);
    size_t nextTable = 0;
    size_t nextEntry = entriesAt;
    auto writeTable = [&](size_t at, size_t named, size_t numbered) {
        SetLe16(out, at + 12, static_cast<uint32_t>(named));
        SetLe16(out, at + 14, static_cast<uint32_t>(numbered));
    };
    // A table's header counts its named entries, then its numbered ones.
    auto header = [&](size_t at, const auto &level) {
        size_t named = 0;
        for (const auto &item : level)
            if (item.first.named) ++named;
        writeTable(at, named, level.size() - named);
    };
    // Breadth first: the root, every type's table, every name's table.
    const size_t root = nextTable;
    header(root, tree);
    nextTable += table(tree.size());
    size_t slot = root + 16;
    std::vector<std::pair<size_t, const std::map<ResourceId, std::map<uint16_t, const Resource *>, Less> *>> typeTables;
    for (const auto &type : tree) {
        SetLe32(out, slot, nameField(type.first));
        SetLe32(out, slot + 4, static_cast<uint32_t>(nextTable) | kSubdirectory);
        typeTables.push_back({nextTable, &type.second});
        nextTable += table(type.second.size());
        slot += 8;
    }
    std::vector<std::pair<size_t, const std::map<uint16_t, const Resource *> *>> nameTables;
    for (const auto &typeTable : typeTables) {
        const auto &names = *typeTable.second;
        header(typeTable.first, names);
        slot = typeTable.first + 16;
        for (const auto &name : names) {
            SetLe32(out, slot, nameField(name.first));
            SetLe32(out, slot + 4, static_cast<uint32_t>(nextTable) | kSubdirectory);
            nameTables.push_back({nextTable, &name.second});
            nextTable += table(name.second.size());
            slot += 8;
        }
    }
    for (const auto &nameTable : nameTables) {
        const auto &languages = *nameTable.second;
        writeTable(nameTable.first, 0, languages.size());
        slot = nameTable.first + 16;
        for (const auto &language : languages) {
            const Resource &r = *language.second;
            SetLe32(out, slot, language.first);
            SetLe32(out, slot + 4, static_cast<uint32_t>(nextEntry));
            const size_t at = AlignUp(static_cast<uint32_t>(out.size()), 8);
            out.resize(at, '\0');
            out += r.data;
            SetLe32(out, nextEntry, static_cast<uint32_t>(base + at));
            SetLe32(out, nextEntry + 4, static_cast<uint32_t>(r.data.size()));
            SetLe32(out, nextEntry + 8, r.codePage);
            nextEntry += 16;
            slot += 8;
        }
    }
    return out;
}

} // namespace

ResourceId ResourceId::Number(uint16_t number)
{
    ResourceId id;
    id.number = number;
    return id;
}

bool ResourceId::operator==(const ResourceId &other) const
{
    return named == other.named && (named ? name == other.name : number == other.number);
}

bool ReadResources(const std::string &image, std::vector<Resource> *resources, std::string *error)
{
    resources->clear();
    Layout layout;
    if (!ReadLayout(image, &layout, error)) return false;
    uint32_t rva = 0;
    const int index = ResourceSection(image, layout, &rva);
    if (index < 0) return true;
    if (!CheckResourceSection(image, layout, index, error)) return false;
    const Section s = ReadSection(image, layout, index);
    if (s.rawAt > image.size() || s.rawSize > image.size() - s.rawAt || rva != s.rva) {
        *error = "the program's resource section is damaged";
        return false;
    }
    const std::string bytes = image.substr(s.rawAt, std::min(s.rawSize, std::max(s.virtualSize, 1u)));
    if (!TreeReader(bytes, s.rva).Read(resources, error)) return false;
    // One type, name and language twice: the writer could keep only one.
    std::vector<const Resource *> order;
    for (const Resource &r : *resources) order.push_back(&r);
    auto less = [](const Resource *a, const Resource *b) {
        if (!(a->type == b->type)) return IdLess(a->type, b->type);
        if (!(a->name == b->name)) return IdLess(a->name, b->name);
        return a->language < b->language;
    };
    std::sort(order.begin(), order.end(), less);
    for (size_t i = 1; i < order.size(); ++i)
        if (!less(order[i - 1], order[i])) {
            *error = "the program's resource directory names one resource twice";
            resources->clear();
            return false;
        }
    return true;
}

const Resource *FindResource(const std::vector<Resource> &resources, uint16_t type,
                             const ResourceId *name)
{
    for (const Resource &r : resources)
        if (!r.type.named && r.type.number == type && (name == nullptr || r.name == *name)) return &r;
    return nullptr;
}

bool WriteResources(const std::string &image, const std::vector<Resource> &resources,
                    std::string *out, std::string *error)
{
    Layout layout;
    if (!ReadLayout(image, &layout, error)) return false;
    uint32_t rva = 0;
    const int index = ResourceSection(image, layout, &rva);
    if (index < 0) {
        *error = "the program has no resource section to write into";
        return false;
    }
    if (!CheckResourceSection(image, layout, index, error)) return false;
    const Section rsrc = ReadSection(image, layout, index);
    for (int i = index + 1; i < layout.sectionCount; ++i) {
        const Section s = ReadSection(image, layout, i);
        const bool relocations = layout.directoryCount > kRelocationDirectory &&
                                 GetLe32(image, layout.directories + 8 * kRelocationDirectory) == s.rva;
        if (!relocations && !(s.characteristics & kDiscardable)) {
            *error = "the program's resource section is followed by a section that cannot move";
            return false;
        }
    }
    if (layout.directoryCount > kSecurityDirectory &&
        GetLe32(image, layout.directories + 8 * kSecurityDirectory + 4) != 0) {
        *error = "the program is signed; sign after packing";
        return false;
    }

    const std::string section = LayOut(resources, rsrc.rva);
    const uint32_t rawSize = AlignUp(static_cast<uint32_t>(section.size()), layout.fileAlignment);
    const uint32_t oldSpan = AlignUp(std::max(rsrc.virtualSize, rsrc.rawSize), layout.sectionAlignment);
    const uint32_t newSpan = AlignUp(static_cast<uint32_t>(section.size()), layout.sectionAlignment);
    const int64_t rvaShift = static_cast<int64_t>(newSpan) - oldSpan;
    // Linkers may record a raw size short of the alignment; the next
    // section still starts on the boundary.
    if (static_cast<uint64_t>(rsrc.rawAt) + rsrc.rawSize > image.size()) {
        *error = "the program's resource section is damaged";
        return false;
    }
    const uint32_t oldEnd = std::min<uint32_t>(AlignUp(rsrc.rawAt + rsrc.rawSize, layout.fileAlignment),
                                               static_cast<uint32_t>(image.size()));
    const int64_t rawShift = static_cast<int64_t>(rsrc.rawAt) + rawSize - oldEnd;

    std::string result = image.substr(0, rsrc.rawAt);
    result += section;
    result.resize(rsrc.rawAt + rawSize, '\0');
    result += image.substr(oldEnd);

    auto movedRaw = [&](uint32_t at) {
        return at >= oldEnd ? static_cast<uint32_t>(at + rawShift) : at;
    };
    SetLe32(result, rsrc.header + 8, static_cast<uint32_t>(section.size()));
    SetLe32(result, rsrc.header + 16, rawSize);
    for (int i = index + 1; i < layout.sectionCount; ++i) {
        const Section s = ReadSection(image, layout, i);
        SetLe32(result, s.header + 12, static_cast<uint32_t>(s.rva + rvaShift));
        if (s.rawAt != 0) SetLe32(result, s.header + 20, movedRaw(s.rawAt));
        for (size_t field : {24u, 28u})
            if (GetLe32(image, s.header + field) != 0)
                SetLe32(result, s.header + field, movedRaw(GetLe32(image, s.header + field)));
    }
    const uint32_t symbols = GetLe32(image, layout.pe + 12);
    if (symbols != 0) SetLe32(result, layout.pe + 12, movedRaw(symbols));
    for (uint32_t d = 0; d < layout.directoryCount; ++d) {
        const size_t at = layout.directories + 8 * d;
        const uint32_t dirRva = GetLe32(image, at);
        if (d == kResourceDirectory) {
            SetLe32(result, at + 4, static_cast<uint32_t>(section.size()));
        } else if (d != kSecurityDirectory && dirRva >= rsrc.rva + oldSpan) {
            SetLe32(result, at, static_cast<uint32_t>(dirRva + rvaShift));
        }
    }
    SetLe32(result, layout.optional + 8, static_cast<uint32_t>(GetLe32(image, layout.optional + 8) + rawShift));
    SetLe32(result, layout.optional + 56, static_cast<uint32_t>(GetLe32(image, layout.optional + 56) + rvaShift));
    *out = result;
    return true;
}

int64_t ChecksumFieldOffset(const std::string &image)
{
    Layout layout;
    std::string error;
    if (!ReadLayout(image, &layout, &error)) return -1;
    return static_cast<int64_t>(layout.optional + 64);
}
