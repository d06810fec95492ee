// Implementation notes.
//
// The version resource is changed as a tree of nodes (base/version_info.h),
// so texts the packer does not know (a "Comments" a product added) survive.
#include "branding.h"

#include <set>

#include "base/little_endian.h"
#include "base/text.h"
#include "base/version_info.h"
#include "launcher_identity.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

using namespace version_resource;

namespace {

const size_t kMaxVersionText = 256;
const uint16_t kEnglishUs = 0x0409;
const uint16_t kIconGroup = 101;
const uint32_t kFixedSignature = 0xFEEF04BD;

// A version resource as the build writes one, for a stub that has none.
Node FreshVersion()
{
    Node root;
    root.key = Key("VS_VERSION_INFO");
    root.value.assign(52, '\0');
    SetLe32(root.value, 0, kFixedSignature);
    SetLe32(root.value, 4, 0x10000);
    SetLe32(root.value, 24, 0x3F);       // flags mask
    SetLe32(root.value, 32, 0x40004);    // VOS_NT_WINDOWS32
    SetLe32(root.value, 36, 1);          // VFT_APP
    Node strings;
    strings.key = Key("StringFileInfo");
    strings.type = 1;
    Node table;
    table.key = Key("040904B0");
    table.type = 1;
    strings.children.push_back(table);
    Node vars;
    vars.key = Key("VarFileInfo");
    vars.type = 1;
    Node translation;
    translation.key = Key("Translation");
    PutLe16(translation.value, kEnglishUs);
    PutLe16(translation.value, 1200);
    vars.children.push_back(translation);
    root.children = {strings, vars};
    return root;
}

bool ParseVersion(const std::vector<Resource> &resources, Node *root)
{
    const Resource *found = FindResource(resources, kResourceVersion);
    if (found == nullptr) return false;
    return ParseNode(found->data, 0, found->data.size(), root, 0) && root->value.size() >= 52 &&
           GetLe32(root->value, 0) == kFixedSignature;
}

// Replaces the resource of `type` and `name` (every language) by `data`,
// keeping the language of the first one replaced (else US English).
void Replace(std::vector<Resource> *resources, uint16_t type, const ResourceId &name,
             const std::string &data)
{
    uint16_t language = kEnglishUs;
    bool found = false;
    for (auto r = resources->begin(); r != resources->end();) {
        if (!r->type.named && r->type.number == type && r->name == name) {
            if (!found) language = r->language;
            found = true;
            r = resources->erase(r);
        } else {
            ++r;
        }
    }
    Resource r;
    r.type = ResourceId::Number(type);
    r.name = name;
    r.language = language;
    r.data = data;
    resources->push_back(r);
}

bool ApplyVersion(const Branding &b, const std::string &outputName,
                  std::vector<Resource> *resources, std::string *error)
{
    Node root;
    if (FindResource(*resources, kResourceVersion) == nullptr) {
        root = FreshVersion();
    } else if (!ParseVersion(*resources, &root)) {
        *error = "the program's version resource is damaged";
        return false;
    }
    Node *strings = Child(root, Key("StringFileInfo"));
    if (strings == nullptr || strings->children.empty()) {
        *error = "the program's version resource has no texts";
        return false;
    }
    Node &table = strings->children.front();
    auto set = [&](const char *name, const std::string &utf8) {
        if (utf8.empty()) return;
        std::u16string text;
        Utf16(utf8, &text);
        Node *item = Child(table, Key(name));
        if (item == nullptr) {
            table.children.push_back(Node());
            item = &table.children.back();
            item->key = Key(name);
            item->type = 1;
        }
        item->value = TextValue(text);
    };
    std::string internal = outputName;
    if (internal.size() > 4 && internal.compare(internal.size() - 4, 4, ".exe") == 0)
        internal.resize(internal.size() - 4);
    set("CompanyName", b.company);
    set("FileDescription", b.description);
    set("FileVersion", b.productVersion);
    set("InternalName", internal);
    set("LegalCopyright", b.copyright);
    set("OriginalFilename", outputName);
    set("ProductName", b.productName);
    set("ProductVersion", b.productVersion);
    if (!b.productVersion.empty()) {
        unsigned n[4] = {};
        sscanf(b.productVersion.c_str(), "%u.%u.%u.%u", &n[0], &n[1], &n[2], &n[3]);
        const uint32_t high = (n[0] << 16) | n[1];
        const uint32_t low = (n[2] << 16) | n[3];
        for (size_t at : {8u, 16u}) SetLe32(root.value, at, high);
        for (size_t at : {12u, 20u}) SetLe32(root.value, at, low);
    }
    Replace(resources, kResourceVersion, ResourceId::Number(1), WriteNode(root));
    return true;
}

std::string XmlEscaped(const std::string &text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out.push_back(c);
        }
    }
    return out;
}

// Cuts the element `<name ...>...</name>` (or `<name .../>`) out of `xml`
// together with the white space in front of it; false when there is none.
bool CutElement(std::string *xml, const std::string &name)
{
    const size_t start = xml->find("<" + name);
    if (start == std::string::npos) return false;
    const std::string close = "</" + name + ">";
    size_t end = xml->find(close, start);
    if (end != std::string::npos) {
        end += close.size();
    } else {
        end = xml->find("/>", start);
        if (end == std::string::npos) return false;
        end += 2;
    }
    size_t from = start;
    while (from > 0 && ((*xml)[from - 1] == ' ' || (*xml)[from - 1] == '\n' || (*xml)[from - 1] == '\r'))
        --from;
    xml->erase(from, end - from);
    return true;
}

const Resource *Manifest(const std::vector<Resource> &resources)
{
    return FindResource(resources, kResourceManifest);
}

bool ApplyManifest(const Branding &b, std::vector<Resource> *resources, std::string *error)
{
    const Resource *found = Manifest(*resources);
    if (found == nullptr) {
        *error = "the program carries no manifest to set the execution level in";
        return false;
    }
    std::string xml = found->data;
    const size_t assemblyEnd = xml.rfind("</assembly>");
    if (assemblyEnd == std::string::npos) {
        *error = "the program's manifest is damaged";
        return false;
    }
    if (!b.description.empty()) {
        const size_t open = xml.find("<description>");
        const size_t close = xml.find("</description>");
        if (open != std::string::npos && close != std::string::npos && close > open)
            xml.replace(open + 13, close - open - 13, XmlEscaped(b.description));
    }
    if (!b.executionLevel.empty()) {
        while (CutElement(&xml, "trustInfo")) {
        }
        const std::string trust =
            "\n  <trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\">\n"
            "    <security>\n"
            "      <requestedPrivileges>\n"
            "        <requestedExecutionLevel level=\"" + b.executionLevel +
            "\" uiAccess=\"false\"/>\n"
            "      </requestedPrivileges>\n"
            "    </security>\n"
            "  </trustInfo>";
        // Behind the description, where the build puts it.
        size_t at = xml.find("</description>");
        at = at != std::string::npos ? at + 14 : xml.find('>', xml.find("<assembly")) + 1;
        xml.insert(at, trust);
    }
    const ResourceId name = found->name;
    Replace(resources, kResourceManifest, name, xml);
    return true;
}

bool ApplyIcon(const std::string &file, std::vector<Resource> *resources, std::string *error)
{
    // The stub's group (its number, its language) is replaced with its images.
    ResourceId group = ResourceId::Number(kIconGroup);
    if (const Resource *old = FindResource(*resources, kResourceGroupIcon)) {
        group = old->name;
        // A copy: erasing the images below moves the resources, the group's
        // among them.
        const std::string g = old->data;
        for (size_t i = 0, count = g.size() >= 6 ? GetLe16(g, 4) : 0; i < count && 6 + 14 * i + 14 <= g.size(); ++i) {
            const ResourceId image = ResourceId::Number(GetLe16(g, 6 + 14 * i + 12));
            for (auto r = resources->begin(); r != resources->end();)
                r = (!r->type.named && r->type.number == kResourceIcon && r->name == image) ? resources->erase(r) : r + 1;
        }
    }
    // Image numbers not used by any other icon: a resource number has 16
    // bits, so there may be fewer left than the file has images.
    std::set<uint32_t> used;
    for (const Resource &r : *resources)
        if (!r.type.named && r.type.number == kResourceIcon && !r.name.named) used.insert(r.name.number);
    // Nor more resources in all than a program may carry.
    const size_t count = GetLe16(file, 4);
    const size_t room = std::min<size_t>(0xFFFF - used.size(), kMostResources - resources->size());
    if (count > room) {
        *error = "--icon: the icon has " + std::to_string(count) + " images, and the program has " +
                 "only " + std::to_string(room) + " icon numbers left";
        return false;
    }
    uint32_t next = 1;
    std::string groupData;
    PutLe16(groupData, 0);
    PutLe16(groupData, 1);
    PutLe16(groupData, static_cast<uint32_t>(count));
    for (size_t i = 0; i < count; ++i) {
        const size_t entry = 6 + 16 * i;
        while (used.count(next) != 0) ++next;
        Resource image;
        image.type = ResourceId::Number(kResourceIcon);
        image.name = ResourceId::Number(next);
        image.language = kEnglishUs;
        image.data = file.substr(GetLe32(file, entry + 12), GetLe32(file, entry + 8));
        resources->push_back(image);
        groupData += file.substr(entry, 12);
        PutLe16(groupData, next);
        ++next;
    }
    Replace(resources, kResourceGroupIcon, group, groupData);
    return true;
}

} // namespace

bool Branding::ChangesVersion() const
{
    return !productName.empty() || !productVersion.empty() || !company.empty() ||
           !description.empty() || !copyright.empty();
}

bool Branding::Any() const
{
    return ChangesVersion() || !iconFile.empty() || !executionLevel.empty();
}

std::string BrandingValueError(const std::string &option, const std::string &value)
{
    if (option == "--execution-level") {
        if (value == "asInvoker" || value == "highestAvailable" || value == "requireAdministrator")
            return std::string();
        return "must be asInvoker, highestAvailable or requireAdministrator";
    }
    if (option == "--product-version") {
        unsigned n[4];
        char end = 0;
        if (sscanf(value.c_str(), "%u.%u.%u.%u%c", &n[0], &n[1], &n[2], &n[3], &end) != 4 ||
            value.find_first_not_of("0123456789.") != std::string::npos)
            return "must be four numbers a.b.c.d";
        for (unsigned part : n)
            if (part > 65535) return "must be four numbers a.b.c.d, each below 65536";
        return std::string();
    }
    std::u16string text;
    if (!Utf16(value, &text)) return "is not UTF-8 text";
    if (text.empty()) return "is empty";
    if (text.size() > kMaxVersionText)
        return "is longer than " + std::to_string(kMaxVersionText) + " characters";
    for (char16_t c : text)
        if (c < 0x20) return "holds a control character";
    return std::string();
}

std::string IconFileError(const std::string &bytes)
{
    if (bytes.size() < 6 || GetLe16(bytes, 0) != 0 || GetLe16(bytes, 2) != 1)
        return "is not an icon file (.ico)";
    const size_t count = GetLe16(bytes, 4);
    if (count == 0 || 6 + 16 * count > bytes.size()) return "is not an icon file (.ico)";
    for (size_t i = 0; i < count; ++i) {
        const size_t entry = 6 + 16 * i;
        const uint32_t size = GetLe32(bytes, entry + 8);
        const uint32_t at = GetLe32(bytes, entry + 12);
        if (size == 0 || at < 6 + 16 * count || at > bytes.size() || size > bytes.size() - at)
            return "is a damaged icon file: image " + std::to_string(i + 1) + " lies outside it";
    }
    return std::string();
}

bool ApplyBranding(const Branding &branding, const std::string &outputName,
                   std::vector<Resource> *resources, std::string *error)
{
    if (branding.ChangesVersion() && !ApplyVersion(branding, outputName, resources, error))
        return false;
    if ((!branding.executionLevel.empty() || !branding.description.empty()) &&
        !ApplyManifest(branding, resources, error))
        return false;
    return branding.iconFile.empty() || ApplyIcon(branding.iconFile, resources, error);
}

void SetProductValues(const ProductValues &values, std::vector<Resource> *resources)
{
    Replace(resources, kResourceRawData, ResourceId::Number(ProductValuesResourceId),
            FormatProductValues(values));
    for (Resource &r : *resources)
        if (!r.type.named && r.type.number == kResourceRawData && r.name == ResourceId::Number(ProductValuesResourceId))
            r.language = 0;
}

bool CarriedProductValues(const std::vector<Resource> &resources, ProductValues *values,
                          std::string *error)
{
    const ResourceId name = ResourceId::Number(ProductValuesResourceId);
    const Resource *found = FindResource(resources, kResourceRawData, &name);
    values->items.clear();
    if (found == nullptr) return true;
    return ParseProductValues(found->data.data(), found->data.size(), ProductValuesTag, values,
                              error);
}

std::vector<std::pair<std::string, std::string>> VersionStrings(
    const std::vector<Resource> &resources)
{
    const Resource *found = FindResource(resources, kResourceVersion);
    return found != nullptr ? VersionTexts(found->data) : std::vector<std::pair<std::string, std::string>>();
}

namespace {

// The launcher's own identity, where an installer shows it, and the option
// that gives the product's own.
struct OwnValue {
    const char *key;  // the version text, or the product value
    const char *value;
    const char *what;
    const char *option;
};
const OwnValue kOwnValues[] = {
    {"ProductName", LAUNCHER_OWN_NAME, "product name", "--product-name"},
    {"FileDescription", LAUNCHER_OWN_DESCRIPTION,
     "file description (the program's name in the elevation prompt and the task manager)",
     "--description, or --product-name alone"},
    {"CompanyName", LAUNCHER_OWN_COMPANY, "company", "--company"},
    {"LegalCopyright", LAUNCHER_OWN_COPYRIGHT, "copyright", "--copyright, or --company alone"},
    {"download-url", LAUNCHER_OWN_DOWNLOAD_URL, "Java download page", "--download-url"},
};

} // namespace

bool IsLauncherOwnValue(const std::string &key, const std::string &value)
{
    for (const OwnValue &own : kOwnValues)
        if (key == own.key && value == own.value) return true;
    return false;
}

std::vector<std::string> LauncherIdentityShown(const std::vector<Resource> &resources,
                                               const ProductValues &values)
{
    std::vector<std::pair<std::string, std::string>> shown = VersionStrings(resources);
    if (const std::string *url = values.Find("download-url")) shown.push_back({"download-url", *url});
    std::vector<std::string> lines;
    for (const OwnValue &own : kOwnValues)
        for (const auto &item : shown)
            if (item.first == own.key && item.second == own.value)
                lines.push_back(std::string("the installer shows the launcher's own ") + own.what +
                                " \"" + own.value + "\"; set yours with " + own.option);
    return lines;
}

std::string ManifestExecutionLevel(const std::vector<Resource> &resources)
{
    const Resource *found = Manifest(resources);
    if (found == nullptr) return std::string();
    const std::string &xml = found->data;
    const size_t at = xml.find("requestedExecutionLevel");
    if (at == std::string::npos) return std::string();
    const size_t level = xml.find("level=\"", at);
    if (level == std::string::npos) return std::string();
    const size_t end = xml.find('"', level + 7);
    return end == std::string::npos ? std::string() : xml.substr(level + 7, end - level - 7);
}
