// The steps of GetLocalizedMessage, each usable on its own: for the tests;
// callers use GetLocalizedMessage.
#ifndef UI_CATALOGUE_INTERNAL_H
#define UI_CATALOGUE_INTERNAL_H

#include "ui/catalogue.h"

#include <functional>

// The steps of GetLocalizedMessage, each usable on its own.

// Turns a composed entry name ("messages_es_checking_java") into its entry,
// or null when there is none.
typedef std::function<CatalogueEntry(const char *name)> EntryResolver;

// The resolver of the real lookup: the named exports of the running image.
CatalogueEntry ResolveOwnExport(const char *name);

// Finds the entry of `key` for `locale`, asking `resolve` for the candidate
// names from the most specific to the English one: the locale name is cut
// at its last '_' after each miss ("no_NO_NY", "no_NO", "no"), then left out
// altogether. Null when not even the English set has the key.
CatalogueEntry LookupCatalogueEntry(const char *locale, const char *key,
                                    const EntryResolver &resolve);

// The text of `entry` converted to `codePage`, in a fresh MemAlloc'd text
// the caller frees. A fresh empty text when the entry is null, returns a
// null text, or the conversion fails. Never null.
char *MessageFromEntry(CatalogueEntry entry, unsigned codePage);

// GetLocalizedMessage for an explicit locale name and code page.
char *LocalizedMessageFor(const char *locale, const char *key, unsigned codePage);

// Forgets the locale that GetLocale decided, so that its next call decides
// anew from the thread locale, as the first call of a process does. For
// tests that run one after another in one process.
void ForgetLocale();

#endif
