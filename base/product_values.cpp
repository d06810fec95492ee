#include "base/product_values.h"

#include "base/text.h"

#include <cstring>

const char *const ProductValueKeys[] = {"main-class",     "class-path",         "download-url",
                                        "accept-modern-java", "trace-variable", "start-delay-ms"};
const int ProductValueKeyCount = static_cast<int>(sizeof ProductValueKeys / sizeof *ProductValueKeys);
const char ProductValuesTag[] = "LAUNCHER-PRODUCT-VALUES 1\n";

namespace {

const size_t kMaxValue = 1024;
const size_t kMaxClassPath = 4096;
const unsigned long kMaxStartDelayMs = 600000;

int KeyIndex(const std::string &key)
{
    for (int i = 0; i < ProductValueKeyCount; ++i)
        if (key == ProductValueKeys[i]) return i;
    return -1;
}

bool IsLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsPrintable(char c)
{
    return c >= 0x20 && c <= 0x7E;
}

// ASCII identifiers ("acme_setup", "com.acme.Setup$1") joined by ".".
bool IsClassName(const std::string &name)
{
    bool start = true;
    for (char c : name) {
        if (c == '.') {
            if (start) return false;
            start = true;
        } else if (IsLetter(c) || c == '_' || c == '$' || (!start && IsDigit(c))) {
            start = false;
        } else {
            return false;
        }
    }
    return !start;
}

// An entry that could load classes from outside the application home: a
// drive or stream (":"), a share ("\\server"), or a ".." part.
bool LeavesTheHome(const std::string &entry)
{
    if (entry.find(':') != std::string::npos) return true;
    auto slash = [](char c) { return c == '\\' || c == '/'; };
    if (entry.size() >= 2 && slash(entry[0]) && slash(entry[1])) return true;
    size_t start = 0;
    for (size_t i = 0; i <= entry.size(); ++i) {
        if (i < entry.size() && !slash(entry[i])) continue;
        if (entry.compare(start, i - start, "..") == 0 && i - start == 2) return true;
        start = i + 1;
    }
    return false;
}

std::string ClassPathError(const std::string &value)
{
    for (char c : value)
        if (!IsPrintable(c) || c == '"') return "holds a character other than printable ASCII, or '\"'";
    if (value[0] != '\\') return "must begin with \"\\\" (it is appended to the application home)";
    for (const std::string &entry : SplitAt(value, ';'))
        if (LeavesTheHome(entry))
            return "\"" + entry + "\" may name a place outside the application home";
    return std::string();
}

} // namespace

const std::string *ProductValues::Find(const std::string &key) const
{
    for (const auto &item : items)
        if (item.first == key) return &item.second;
    return nullptr;
}

void ProductValues::Set(const std::string &key, const std::string &value)
{
    for (auto &item : items) {
        if (item.first == key) {
            item.second = value;
            return;
        }
    }
    const int index = KeyIndex(key);
    auto at = items.begin();
    while (at != items.end() && KeyIndex(at->first) < index) ++at;
    items.insert(at, {key, value});
}

std::string ProductValueError(const std::string &key, const std::string &value)
{
    const int index = KeyIndex(key);
    if (index < 0) return "is not a product value";
    if (value.empty()) return "is empty";
    const size_t limit = key == "class-path" ? kMaxClassPath : kMaxValue;
    if (value.size() > limit)
        return "is longer than " + std::to_string(limit) + " characters";
    if (key == "main-class") {
        if (!IsClassName(value)) return "is not a Java class name (ASCII letters, digits, '_', '$', '.')";
    } else if (key == "class-path") {
        return ClassPathError(value);
    } else if (key == "download-url") {
        for (char c : value)
            if (!IsPrintable(c) || c == ' ' || c == '"') return "holds a space, a '\"' or a character other than printable ASCII";
    } else if (key == "accept-modern-java") {
        if (value != "0" && value != "1") return "must be 0 or 1";
    } else if (key == "trace-variable") {
        if (IsDigit(value[0])) return "must not begin with a digit";
        for (char c : value)
            if (!IsLetter(c) && !IsDigit(c) && c != '_') return "may hold only letters, digits and '_'";
    } else if (key == "start-delay-ms") {
        if (value.size() > 6) return "must be a number of milliseconds up to 600000";
        for (char c : value)
            if (!IsDigit(c)) return "must be a number of milliseconds up to 600000";
        if (std::stoul(value) > kMaxStartDelayMs) return "must be a number of milliseconds up to 600000";
    }
    return std::string();
}

bool ParseProductValues(const char *text, size_t length, const std::string &tag,
                        ProductValues *values, std::string *error)
{
    values->items.clear();
    const void *nul = memchr(text, '\0', length);
    if (nul != nullptr) length = static_cast<size_t>(static_cast<const char *>(nul) - text);
    if (length > ProductValuesMaxLength) {
        *error = "the product values are longer than " + std::to_string(ProductValuesMaxLength) +
                 " bytes";
        return false;
    }
    const std::string form(text, length);
    if (form.compare(0, tag.size(), tag) != 0) {
        *error = "the product values do not begin with their tag";
        return false;
    }
    size_t line = tag.size();
    while (line < form.size()) {
        const size_t end = form.find('\n', line);
        if (end == std::string::npos) {
            *error = "the product values end inside a line";
            return false;
        }
        const std::string item = form.substr(line, end - line);
        line = end + 1;
        const size_t equals = item.find('=');
        if (equals == std::string::npos) {
            *error = "a product value line has no '=': \"" + item.substr(0, 40) + "\"";
            return false;
        }
        const std::string key = item.substr(0, equals);
        const std::string value = item.substr(equals + 1);
        if (KeyIndex(key) >= 0 && values->Find(key) != nullptr) {
            *error = "the product value " + key + " is given twice";
            return false;
        }
        const std::string why = ProductValueError(key, value);
        if (!why.empty()) {
            *error = "the product value " + key.substr(0, 40) + " " + why;
            return false;
        }
        values->Set(key, value);
    }
    return true;
}

std::string FormatProductValues(const ProductValues &values)
{
    std::string form = ProductValuesTag;
    for (const auto &item : values.items) form += item.first + "=" + item.second + "\n";
    return form;
}
