// Reporting catalogue texts: fetch the text of a key in the process's
// language, print it on its channel, free it. Every localized error and
// progress line of the launcher goes through here.
#ifndef UI_REPORT_H
#define UI_REPORT_H

#include "base/owned.h"
#include "ui/catalogue.h"
#include "ui/output.h"

#include <cstdio>

// `text`, or "(null)" for a null pointer: a %s argument is never null, since
// the C runtimes disagree on what they print for one, and some fault.
const char *Shown(const char *text);

// Prints the text of `key` as an error (_fprintf on stderr), using the text
// as the format of `args`. Each argument must match the text's conversions;
// pass texts through Shown() when they may be null.
template <typename... Args> void ReportError(const char *key, Args... args)
{
    OwnedText text(GetLocalizedMessage(key));
    _fprintf(stderr, text.get(), args...);
}

// Prints the text of `key` as an error exactly as it stands: a '%' in a
// translation cannot read arguments that are not there.
void ReportErrorText(const char *key);

// Prints the text of `key` as a progress line (statusf), as it stands.
void ReportStatus(const char *key);

#endif
