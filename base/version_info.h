// The version resource (VS_VERSIONINFO) of a Windows program, read and
// written without Win32, so that the packer (which changes the stubs' on any
// build machine) and the launcher (which names its own product in the trace)
// read it alike.
//
// A version resource is a tree of nodes, each a length, a value length, a
// type (0 binary, 1 text), a NUL-terminated UTF-16 key, then its value and
// its children, both aligned to 4 bytes. It is read into that tree, changed
// there and written again, so texts the packer does not know (a "Comments"
// a product added) survive.
#ifndef BASE_VERSION_INFO_H
#define BASE_VERSION_INFO_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace version_resource {

struct Node {
    std::u16string key;
    uint16_t type = 0;
    std::string value;  // as stored: bytes, or UTF-16 text with its NUL
    std::vector<Node> children;
};

// Reads the node at `at` of `bytes`, which ends no later than `end`, and
// its children (at most 8 deep); false when the bytes are not one.
bool ParseNode(const std::string &bytes, size_t at, size_t end, Node *node, int depth);

// The bytes of `node` and its children, lengths counted afresh.
std::string WriteNode(const Node &node);

// The first child of `node` with `key`, or null.
Node *Child(Node &node, const std::u16string &key);

// `ascii` as a key.
std::u16string Key(const char *ascii);

// A text value as stored (UTF-16 with its NUL), and back.
std::string TextValue(const std::u16string &text);
std::u16string TextOf(const std::string &value);

// UTF-8 to UTF-16 (false for text that is not UTF-8), and back.
bool Utf16(const std::string &utf8, std::u16string *out);
std::string Utf8(const std::u16string &text);

} // namespace version_resource

// The texts of the version resource `bytes` (UTF-8, from the first string
// table), in order, after its fixed file version as "a.b.c.d" under the key
// "(file version)". Empty when `bytes` is not a version resource.
std::vector<std::pair<std::string, std::string>> VersionTexts(const std::string &bytes);

#endif
