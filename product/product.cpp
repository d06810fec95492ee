#include "product/product.h"

#include "base/mbcs.h"
#include "base/memory.h"
#include "base/path.h"
#include "product_config.h"

#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

char *execPath;         // full path of the running executable
char *applicationHome;  // see GetApplicationHome

const char *const classpathElements[] = {PRODUCT_CLASSPATH_ELEMENT};

} // namespace

// The product record: the values a packer must know to lay out a payload
// for this very program, kept in the file in a findable form so that a
// product team can pack on any machine with nothing but the program (see
// ProductRecord in tools/mksetup). One "name=value" line per value after the
// tag line; the tag is unique to the record.
extern const char productRecord[];
__attribute__((used)) const char productRecord[] =
    "LAUNCHER-PRODUCT-RECORD 1\n"
    "main-class=" PRODUCT_MAIN_CLASS "\n"
    "class-path=" PRODUCT_CLASSPATH_ELEMENT "\n";

char *SetExecName(const char *)
{
    if (execPath != nullptr) return execPath;

    // GetModuleFileNameW truncates silently: a result as long as the buffer
    // may be cut, so grow and ask again until it is shorter. The name is
    // asked for in UTF-16 so that a folder whose name the ANSI code page
    // cannot spell still gives a path that opens (its short form).
    std::wstring buffer;
    for (DWORD size = MAX_PATH;; size += MAX_PATH) {
        buffer.assign(size, L'\0');
        DWORD length = GetModuleFileNameW(nullptr, &buffer[0], size);
        if (length == 0) return nullptr;
        if (length < size) {
            buffer.resize(length);
            break;
        }
    }
    const std::string path = AnsiPath(buffer);
    if (path.empty()) return nullptr;
    execPath = StrDup(path.c_str());
    return execPath;
}

char *GetExecName()
{
    return execPath;
}

char *GetApplicationHome()
{
    if (applicationHome != nullptr) return applicationHome;
    const char *exec = GetExecName();
    if (exec == nullptr) return nullptr;
    char *home = StrDup(exec);
    char *slash = _strrchr(home, '\\');
    if (slash != nullptr) *slash = '\0';
    applicationHome = home;
    return applicationHome;
}

void SetApplicationHome(char *home)
{
    free(applicationHome);
    applicationHome = home;
}

const char *GetJavaClassName()
{
    return PRODUCT_MAIN_CLASS;
}

int GetJavaClasspathElements(const char *const **elements)
{
    *elements = classpathElements;
    return static_cast<int>(sizeof classpathElements / sizeof classpathElements[0]);
}

char *GetMessageKeyPrefix(const char *key)
{
    static const char format[] = "setup_%s";
    int length = snprintf(nullptr, 0, format, key);
    char *text = static_cast<char *>(MemAlloc(static_cast<size_t>(length) + 1));
    snprintf(text, static_cast<size_t>(length) + 1, format, key);
    return text;
}

bool IsStateFileRequired()
{
    return true;
}

void Cleanup()
{
    // This product leaves nothing behind that the working directory's
    // removal does not take care of.
}
