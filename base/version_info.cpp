#include "base/version_info.h"

#include <algorithm>
#include <cstdio>

#include "base/little_endian.h"
#include "base/text.h"

namespace version_resource {

namespace {

const uint32_t kFixedSignature = 0xFEEF04BD;

void Pad4(std::string &b)
{
    while (b.size() % 4 != 0) b.push_back('\0');
}

} // namespace

// UTF-8 to UTF-16; false for text that is not UTF-8.
bool Utf16(const std::string &utf8, std::u16string *out)
{
    std::u32string characters;
    if (!DecodeUtf8(utf8, &characters)) return false;
    out->clear();
    for (char32_t c : characters) {
        if (c >= 0x10000) {
            c -= 0x10000;
            out->push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out->push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out->push_back(static_cast<char16_t>(c));
        }
    }
    return true;
}

std::string Utf8(const std::u16string &text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::u16string Key(const char *ascii)
{
    std::u16string key;
    for (const char *p = ascii; *p != '\0'; ++p) key.push_back(static_cast<char16_t>(*p));
    return key;
}

bool ParseNode(const std::string &b, size_t at, size_t end, Node *node, int depth)
{
    if (depth > 8 || at + 6 > end) return false;
    const size_t length = GetLe16(b, at);
    const size_t valueLength = GetLe16(b, at + 2);
    node->type = GetLe16(b, at + 4);
    if (length < 6 || at + length > end) return false;
    end = at + length;
    size_t p = at + 6;
    for (;; p += 2) {
        if (p + 2 > end) return false;
        const char16_t c = static_cast<char16_t>(GetLe16(b, p));
        if (c == 0) break;
        node->key.push_back(c);
    }
    p = (p + 2 + 3) / 4 * 4;
    const size_t valueBytes = node->type == 1 ? 2 * valueLength : valueLength;
    if (p + valueBytes > end) {
        // Some writers count a text value in bytes; take what is there.
        if (node->type != 1 || p + valueLength > end) return false;
    }
    node->value = b.substr(p, std::min(valueBytes, end - p));
    p = (p + node->value.size() + 3) / 4 * 4;
    while (p + 6 <= end) {
        Node child;
        if (!ParseNode(b, p, end, &child, depth + 1)) return false;
        const size_t childLength = GetLe16(b, p);
        node->children.push_back(child);
        p = (p + childLength + 3) / 4 * 4;
    }
    return true;
}

std::string WriteNode(const Node &node)
{
    std::string out(6, '\0');
    for (char16_t c : node.key) PutLe16(out, c);
    PutLe16(out, 0);
    Pad4(out);
    out += node.value;
    for (const Node &child : node.children) {
        Pad4(out);
        out += WriteNode(child);
    }
    const size_t valueLength = node.type == 1 ? node.value.size() / 2 : node.value.size();
    out[0] = static_cast<char>(out.size() & 0xFF);
    out[1] = static_cast<char>((out.size() >> 8) & 0xFF);
    out[2] = static_cast<char>(valueLength & 0xFF);
    out[3] = static_cast<char>((valueLength >> 8) & 0xFF);
    out[4] = static_cast<char>(node.type);
    return out;
}

Node *Child(Node &node, const std::u16string &key)
{
    for (Node &child : node.children)
        if (child.key == key) return &child;
    return nullptr;
}

std::string TextValue(const std::u16string &text)
{
    std::string value;
    for (char16_t c : text) PutLe16(value, c);
    PutLe16(value, 0);
    return value;
}

std::u16string TextOf(const std::string &value)
{
    std::u16string text;
    for (size_t i = 0; i + 1 < value.size(); i += 2) {
        const char16_t c = static_cast<char16_t>(GetLe16(value, i));
        if (c == 0) break;
        text.push_back(c);
    }
    return text;
}

} // namespace version_resource

using namespace version_resource;

std::vector<std::pair<std::string, std::string>> VersionTexts(const std::string &bytes)
{
    std::vector<std::pair<std::string, std::string>> out;
    Node root;
    if (!ParseNode(bytes, 0, bytes.size(), &root, 0) || root.value.size() < 52 ||
        GetLe32(root.value, 0) != kFixedSignature)
        return out;
    char version[64];
    snprintf(version, sizeof version, "%u.%u.%u.%u", GetLe32(root.value, 8) >> 16,
             GetLe32(root.value, 8) & 0xFFFF, GetLe32(root.value, 12) >> 16,
             GetLe32(root.value, 12) & 0xFFFF);
    out.push_back({"(file version)", version});
    Node *strings = Child(root, Key("StringFileInfo"));
    if (strings == nullptr || strings->children.empty()) return out;
    for (const Node &item : strings->children.front().children)
        out.push_back({Utf8(item.key), Utf8(TextOf(item.value))});
    return out;
}
