// Implementation notes.
//
// Names are built from the folders' relative paths as UTF-8 (the form
// std::filesystem gives on both systems) and only then converted to the
// chosen code page, so sorting and the launcher's name checks see exactly
// the bytes that go into the archive. The product record's tag is put
// together at run time: the packer's own file must not hold it whole, or
// the packer would pass for a launcher program.
#include "payload.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <system_error>

#include "base/mbcs.h"
#include "base/text.h"
#include "host.h"
#include "zip/archive.h"
#include "zip/entry_name.h"

namespace fs = std::filesystem;

namespace {

const size_t kMaxNameLength = 65535;
// Files of this size and more come first in the archive.
const uint64_t kLargeFileBytes = 1 << 20;
const unsigned kUtf8 = 65001;

std::string RecordTag()
{
    static const char kFirst[] = "LAUNCHER-PRODUCT-";
    static const char kSecond[] = "RECORD 1\n";
    return std::string(kFirst) + kSecond;
}

std::string Shown(const fs::path &path)
{
    return path.u8string();
}

bool IsAscii(const std::string &text)
{
    for (unsigned char c : text)
        if (c >= 0x80) return false;
    return true;
}

bool MakeName(const fs::path &source, const std::string &utf8, const NameRules &rules,
              std::string *name, bool *isUtf8, std::string *error)
{
    *isUtf8 = false;
    if (rules.codePage == 0) {
        *name = utf8;
        *isUtf8 = !IsAscii(utf8);
    } else if (!ConvertFromUtf8(utf8, rules.codePage, name)) {
        *error = Shown(source) + ": the name cannot be written in code page " +
                 std::to_string(rules.codePage);
        return false;
    }
    // Judged as the launcher will judge it: in the code page it runs in, or
    // decoded from UTF-8.
    const unsigned codePage = rules.codePage != 0 ? rules.codePage : kUtf8;
    if (!zipIsSafeNameInCodePage(name->c_str(), codePage)) {
        *error = Shown(source) + ": the launcher refuses the name \"" + utf8 +
                 "\" (a drive, a device name such as CON or NUL, \"..\", a part that ends "
                 "in a dot or a space, or a character such as ? or | that Windows does not "
                 "take in a name)";
        return false;
    }
    if (name->size() > kMaxNameLength) {
        *error = Shown(source) + ": the name is longer than a ZIP archive allows";
        return false;
    }
    return true;
}

} // namespace

bool FindProductRecord(const std::string &program, ProductValues *record, std::string *error)
{
    const std::string tag = RecordTag();
    const size_t at = program.find(tag);
    if (at == std::string::npos) return false;
    std::string why;
    if (!ParseProductValues(program.data() + at, program.size() - at, tag, record, &why)) {
        if (error != nullptr) *error = why;
        return false;
    }
    return record->Find("main-class") != nullptr && record->Find("class-path") != nullptr;
}

bool CollectFolder(const fs::path &folder, const std::string &prefix, const NameRules &rules,
                   std::vector<PayloadEntry> *entries, std::string *error)
{
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        *error = Shown(folder) + ": not a folder that can be read";
        return false;
    }
    fs::recursive_directory_iterator walk(folder, fs::directory_options::follow_directory_symlink,
                                          ec);
    for (; !ec && walk != fs::recursive_directory_iterator(); walk.increment(ec)) {
        const fs::path &path = walk->path();
        std::string relative = path.lexically_relative(folder).generic_u8string();
        PayloadEntry entry;
        bool directory = walk->is_directory(ec);
        if (!ec && !directory && !walk->is_regular_file(ec)) {
            *error = Shown(path) + ": neither a file nor a folder";
            return false;
        }
        if (ec) break;
        if (!MakeName(path, prefix + relative, rules, &entry.name, &entry.utf8, error)) return false;
        entry.key = FileNameKey((prefix + relative).c_str(), kUtf8);
        if (directory) {
            entry.name += '/';
        } else {
            entry.source = path;
            entry.size = walk->file_size(ec);
            if (ec) break;
            if (entry.size > kZipMaxEntrySize) {
                *error = Shown(path) + ": more than 1 TiB (" + std::to_string(entry.size) +
                         " bytes); the launcher extracts files of up to 1 TiB";
                return false;
            }
        }
        entries->push_back(entry);
    }
    if (ec) {
        *error = Shown(folder) + ": cannot be read completely: " + ec.message();
        return false;
    }
    return true;
}

bool FinishEntries(std::vector<PayloadEntry> *entries, std::string *error)
{
    std::set<std::string> names;
    for (const PayloadEntry &entry : *entries) names.insert(entry.name);
    // Directories of a prefix ("package/" above "package/jre/") get entries
    // of their own, as every other directory does.
    std::vector<PayloadEntry> implied;
    for (const PayloadEntry &entry : *entries) {
        for (size_t slash = entry.name.find('/'); slash != std::string::npos && slash + 1 < entry.name.size();
             slash = entry.name.find('/', slash + 1)) {
            std::string directory = entry.name.substr(0, slash + 1);
            if (names.insert(directory).second)
                implied.push_back({directory, {}, 0, {}, entry.utf8 && !IsAscii(directory)});
        }
    }
    entries->insert(entries->end(), implied.begin(), implied.end());
    std::sort(entries->begin(), entries->end(),
              [](const PayloadEntry &a, const PayloadEntry &b) { return a.name < b.name; });
    for (size_t i = 1; i < entries->size(); ++i) {
        const PayloadEntry &a = (*entries)[i - 1];
        const PayloadEntry &b = (*entries)[i];
        if (a.name == b.name && !(a.source.empty() && b.source.empty())) {
            *error = "\"" + b.name + "\" comes from both " + Shown(a.source) + " and " +
                     Shown(b.source);
            return false;
        }
    }
    entries->erase(std::unique(entries->begin(), entries->end(),
                               [](const PayloadEntry &a, const PayloadEntry &b) {
                                   return a.name == b.name;
                               }),
                   entries->end());

    // Windows keeps one file for names that its upper-case table makes one.
    std::map<std::wstring, const PayloadEntry *> seen;
    for (const PayloadEntry &entry : *entries) {
        std::wstring key = entry.key;
        if (key.empty()) {
            std::string name = entry.name;
            if (!name.empty() && name.back() == '/') name.pop_back();
            key = FileNameKey(name.c_str(), kUtf8);
        }
        auto found = seen.emplace(key, &entry);
        const PayloadEntry &other = *found.first->second;
        if (found.second || (other.source.empty() && entry.source.empty())) continue;
        auto shown = [](const PayloadEntry &e) {
            return e.source.empty() ? "the folder \"" + e.name + "\"" : Shown(e.source);
        };
        *error = shown(other) + " and " + shown(entry) +
                 ": Windows takes these names for one, and one would be lost; rename one";
        return false;
    }
    // The launcher's workers take the files in the archive's order, and one
    // large file takes a worker as long as hundreds of small ones: started
    // last, it would end the extraction alone. So the large files go first,
    // the largest first, and the small ones fill the workers' time behind
    // them (on a Java runtime, 0.88 to 0.96 of the time to the wizard).
    const auto order = [](const PayloadEntry &entry) {
        return entry.size >= kLargeFileBytes ? entry.size : 0;
    };
    std::stable_sort(entries->begin(), entries->end(),
                     [&](const PayloadEntry &a, const PayloadEntry &b) { return order(a) > order(b); });
    return true;
}

std::vector<std::string> CheckPayload(const std::string &mainClass, const std::string &classPath,
                                      const std::vector<PayloadEntry> &entries)
{
    std::set<std::string> files;
    for (const PayloadEntry &entry : entries)
        if (!entry.source.empty()) files.insert(entry.name);

    std::vector<std::string> warnings;
    const std::string classFile = mainClass + ".class";
    if (files.count(classFile) == 0)
        warnings.push_back("the payload has no " + classFile +
                           " at its top: the launcher looks for the main class file there");

    // Elements are appended to the application home: "\package\x.jar" and
    // ".\package\x.jar" name payload files, "." the home itself.
    for (std::string element : SplitAt(classPath, ';')) {
        std::replace(element.begin(), element.end(), '\\', '/');
        if (element.rfind("./", 0) == 0) element.erase(0, std::strlen("./"));
        while (!element.empty() && element[0] == '/') element.erase(0, 1);
        if (element.empty() || element == ".") continue;
        // An element named twice is missing once.
        if (files.insert(element).second)
            warnings.push_back("the payload has no " + element + ", which the class path names");
    }
    return warnings;
}
