// Small text helpers that need no system: splitting a list, reading UTF-8.
#ifndef BASE_TEXT_H
#define BASE_TEXT_H

#include <string>
#include <vector>

// The parts of `text` between the `separator`s, empty ones included: a text
// with n separators has n + 1 parts ("" has one, the empty one).
inline std::vector<std::string> SplitAt(const std::string &text, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

// The characters of the UTF-8 text `text` in *out. A byte that starts no
// valid sequence (a stray continuation byte, an overlong or cut-off lead)
// stands for itself as U+DC00 + byte, away from every real character, and
// makes the result false; the rest is still decoded.
inline bool DecodeUtf8(const std::string &text, std::u32string *out)
{
    out->clear();
    bool valid = true;
    for (size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        const int more = lead < 0x80                  ? 0
                         : lead >= 0xC2 && lead < 0xE0 ? 1
                         : lead >= 0xE0 && lead < 0xF0 ? 2
                         : lead >= 0xF0 && lead < 0xF5 ? 3
                                                       : -1;
        char32_t c = more <= 0 ? lead : lead & (0x3F >> more);
        bool whole = more >= 0 && text.size() - i > static_cast<size_t>(more);
        for (int k = 1; whole && k <= more; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
            whole = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        if (!whole) {
            valid = false;
            out->push_back(0xDC00 + lead);
            ++i;
            continue;
        }
        out->push_back(c);
        i += static_cast<size_t>(more) + 1;
    }
    return valid;
}

#endif
