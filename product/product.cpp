#include "product/product.h"

#include "base/mbcs.h"
#include "base/memory.h"
#include "product_config.h"

#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

    // GetModuleFileNameA truncates silently: a result as long as the buffer
    // may be cut, so grow and ask again until it is shorter.
    DWORD size = MAX_PATH;
    for (;;) {
        char *buffer = static_cast<char *>(MemAlloc(size));
        DWORD length = GetModuleFileNameA(nullptr, buffer, size);
        if (length == 0) {
            free(buffer);
            return nullptr;
        }
        if (length < size) {
            execPath = buffer;
            return execPath;
        }
        free(buffer);
        size += MAX_PATH;
    }
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
