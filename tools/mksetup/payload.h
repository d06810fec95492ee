// What goes into an installer: the stub's product record, and the files of
// the payload folder and the runtime folder under the names the launcher
// will extract them to.
#ifndef MKSETUP_PAYLOAD_H
#define MKSETUP_PAYLOAD_H

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "base/product_values.h"

// Finds the product record in the bytes of a program file: the values it
// was built with (product/build_variant.cpp writes it), at least its main
// class and class path. False when the bytes hold none: the file is not one
// of the launcher's programs; false with *error set (when `error` is given)
// when they hold one whose values break the rules of base/product_values.h.
bool FindProductRecord(const std::string &program, ProductValues *record,
                       std::string *error = nullptr);

// One entry of the payload: its archive name ("/"-separated, in UTF-8 or
// the chosen code page; directories end in "/") and, for files, where it
// comes from.
struct PayloadEntry {
    std::string name;
    std::filesystem::path source;  // empty for a directory
    uint64_t size = 0;
    std::wstring key;              // FileNameKey of the name as UTF-8; empty: of `name`
    bool utf8 = false;             // a name beyond ASCII, written as UTF-8 (flag bit 11)
};

// How names are written: code page 0 writes names beyond ASCII as UTF-8
// with the archive's UTF-8 flag; another code page writes every name in
// that code page, without the flag, for launchers that run in it.
struct NameRules {
    unsigned codePage = 0;
};

// Adds every file and directory below `folder` to `entries`, named under
// `prefix` ("" for the payload root, else e.g. "package/jre/"). False with
// `*error` set on the first name that cannot be written (not safe for the
// launcher, not in the code page, too long), file of more than 1 TiB, or
// entry that cannot be read.
bool CollectFolder(const std::filesystem::path &folder, const std::string &prefix,
                   const NameRules &rules, std::vector<PayloadEntry> *entries, std::string *error);

// Sorts the entries by name (bytes), files of 1 MiB and more ahead of the
// rest by size, the largest first, and adds the directories that the names
// imply but the folders did not list (the directories of the prefix). False
// with `*error` naming the first name that two sources both provide, or the
// first two files (or a file and a folder) whose names Windows takes for one
// ("README" and "readme", "Łódź.txt" and "łódź.txt": FileNameKey), since
// one of them would be lost; folders that differ only so merge, as Windows
// merges them.
bool FinishEntries(std::vector<PayloadEntry> *entries, std::string *error);

// What a launcher with main class `mainClass` and class-path element
// `classPath` will look for and the payload lacks: the main class file at
// the top and the class-path elements that name payload files. One warning
// text per missing item.
std::vector<std::string> CheckPayload(const std::string &mainClass, const std::string &classPath,
                                      const std::vector<PayloadEntry> &entries);

#endif
