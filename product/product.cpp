#include "product/product.h"

#include "base/mbcs.h"
#include "base/memory.h"
#include "base/path.h"
#include "base/product_values.h"
#include "base/version_info.h"
#include "product_config.h"

#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

char *execPath;         // full path of the running executable
char *applicationHome;  // see GetApplicationHome

const char builtInClassPath[] = PRODUCT_CLASSPATH_ELEMENT;
const char *classpathElements[] = {builtInClassPath};

// The values the program file carries; unset keys take the built-in ones.
ProductValues carried;

const std::string *Carried(const char *key)
{
    return carried.Find(key);
}

} // namespace

bool LoadProductValues(std::string *error)
{
    carried = ProductValues();
    classpathElements[0] = builtInClassPath;
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(ProductValuesResourceId),
                                MAKEINTRESOURCEW(10));  // RT_RCDATA
    if (found == nullptr) return true;
    HGLOBAL loaded = LoadResource(nullptr, found);
    const void *data = loaded != nullptr ? LockResource(loaded) : nullptr;
    const DWORD size = SizeofResource(nullptr, found);
    if (data == nullptr) {
        *error = "the product values cannot be read";
        return false;
    }
    ProductValues values;
    if (!ParseProductValues(static_cast<const char *>(data), size, ProductValuesTag, &values,
                            error))
        return false;
    carried = values;
    if (const std::string *path = Carried("class-path")) classpathElements[0] = path->c_str();
    return true;
}

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
    const std::string *value = Carried("main-class");
    return value != nullptr ? value->c_str() : PRODUCT_MAIN_CLASS;
}

const char *GetDownloadUrl()
{
    const std::string *value = Carried("download-url");
    return value != nullptr ? value->c_str() : PRODUCT_DOWNLOAD_URL;
}

const char *GetTraceVariable()
{
    const std::string *value = Carried("trace-variable");
    return value != nullptr ? value->c_str() : PRODUCT_TRACE_VARIABLE;
}

unsigned GetJavaStartDelayMs()
{
    const std::string *value = Carried("start-delay-ms");
    return value != nullptr ? static_cast<unsigned>(std::stoul(*value)) : JavaStartDelayMs;
}

bool AcceptsModernJava()
{
    const std::string *value = Carried("accept-modern-java");
    return value != nullptr ? *value == "1" : AcceptModernJava;
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

std::string ProductOfVersionResource()
{
    // VS_VERSION_INFO, of type RT_VERSION
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16));
    HGLOBAL loaded = found != nullptr ? LoadResource(nullptr, found) : nullptr;
    const void *bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) return "(no version resource)";
    std::string name, version;
    for (const auto &text : VersionTexts(std::string(static_cast<const char *>(bytes),
                                                     SizeofResource(nullptr, found)))) {
        if (text.first == "ProductName") name = text.second;
        if (text.first == "ProductVersion") version = text.second;
    }
    const std::wstring wide = WidenUtf8((name + " " + version).c_str());
    std::string ansi(wide.size() * 2 + 1, '\0');
    const int length = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()),
                                           &ansi[0], static_cast<int>(ansi.size()), nullptr, nullptr);
    ansi.resize(length > 0 ? static_cast<size_t>(length) : 0);
    return ansi;
}
