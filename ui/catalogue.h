// The message catalogue: every text the launcher shows, in English, Spanish,
// Japanese and Simplified Chinese, looked up by key under the thread locale.
//
// Each text is an exported function of the executable itself, named
// "messages_" [language "_"] key, returning constant UTF-16LE text. The
// lookup resolves those names with GetProcAddress on the running image, so a
// program that looks texts up must link the catalogue objects (ui/messages_*).
#ifndef UI_CATALOGUE_H
#define UI_CATALOGUE_H

#include <cstdint>

// A catalogue entry as exported: no arguments, constant UTF-16LE text.
typedef const wchar_t *(*CatalogueEntry)(void);

// Defines one exported catalogue entry: CATALOGUE_ENTRY(es_, checking_java,
// L"...") gives messages_es_checking_java. An empty language gives the
// English entry.
#define CATALOGUE_ENTRY(language, key, text)                                   \
    extern "C" __declspec(dllexport) const wchar_t *messages_##language##key(void) \
    {                                                                          \
        return text;                                                           \
    }

// The text of `key` in the process's language, converted to the ANSI code
// page (UTF-8 where the system has none): a fresh MemAlloc'd text the caller
// frees. Falls back from "es_MX" to "es" to English; a key without any entry
// gives a fresh empty text. Never null.
char *GetLocalizedMessage(const char *key);

// The process's locale name ("es_MX", "ja_JP", "en", ...), decided from the
// thread locale on the first call and kept. Constant storage.
const char *GetLocale();

// The locale name for a thread locale identifier: its LANGID looked up in the
// locale table, then its primary language, then "en". Constant storage.
const char *LocaleNameForLcid(uint32_t lcid);

// The locale table: rows of (LANGID, locale name) in ascending LANGID order.
struct LocaleRow {
    uint16_t langId;
    const char *name;
};
extern const LocaleRow LocaleTable[];
extern const int LocaleTableSize;

// Converts the UTF-16 text (NUL-terminated) to a fresh MemAlloc'd 8-bit text
// in `codePage`; characters the code page lacks become its default
// character. Null when the conversion fails.
char *ConvertCatalogueText(const wchar_t *text, unsigned codePage);

#endif
