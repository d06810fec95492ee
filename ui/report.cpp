#include "ui/report.h"

const char *Shown(const char *text)
{
    return text != nullptr ? text : "(null)";
}

void ReportErrorText(const char *key)
{
    OwnedText text(GetLocalizedMessage(key));
    _fprintf(stderr, "%s", text.get());
}

void ReportStatus(const char *key)
{
    OwnedText text(GetLocalizedMessage(key));
    statusf("%s", text.get());
}
