// The texts the catalogue must hold, from the tests' own table
// (tests/support/expected_texts.inc), never from the product.
#ifndef TESTS_UNIT_EXPECTED_TEXT_H
#define TESTS_UNIT_EXPECTED_TEXT_H

#include <windows.h>

#include <string>

namespace expected {

// The UTF-8 text of `key` in `language` ("en", "es", "ja", "zh_CN"); a key
// the table lacks is reported as a text no catalogue holds.
inline std::string Text(const std::string &language, const std::string &key)
{
    struct Row {
        const char *language;
        const char *key;
        const char *text;
    };
    static const Row rows[] = {
#define EXPECTED_TEXT(language, key, text) {#language, #key, text},
#include "support/expected_texts.inc"
#undef EXPECTED_TEXT
    };
    for (const Row &row : rows)
        if (language == row.language && key == row.key) return row.text;
    return "<no expected text for " + language + " " + key + ">";
}

inline std::wstring Wide(const std::string &utf8)
{
    int units = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &wide[0], units);
    wide.resize(static_cast<size_t>(units > 0 ? units - 1 : 0));
    return wide;
}

// The text in the 8-bit code page, as the system converts it.
inline std::string InCodePage(const std::string &utf8, unsigned codePage)
{
    std::wstring wide = Wide(utf8);
    int bytes = WideCharToMultiByte(codePage, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(codePage, 0, wide.c_str(), -1, &out[0], bytes, nullptr, nullptr);
    out.resize(static_cast<size_t>(bytes > 0 ? bytes - 1 : 0));
    return out;
}

} // namespace expected

#endif
