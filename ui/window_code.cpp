#include "ui/window_code.h"

#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void NotLoaded(const char *what)
{
    fprintf(stderr, "The window code could not be loaded: %s\n", what);
    exit(1);
}

HMODULE LoadSystemDll(const wchar_t *name, const char *shown)
{
    HMODULE module = LoadLibraryW(name);
    if (module == nullptr) NotLoaded(shown);
    return module;
}

// `Function` is the type the Windows headers declare for `name`.
template <typename Function>
void Resolve(HMODULE module, const char *name, Function *function)
{
    FARPROC found = GetProcAddress(module, name);
    if (found == nullptr) NotLoaded(name);
    *function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

} // namespace

#define LAUNCHER_RESOLVE(name) Resolve(module, #name, &functions.name);

const User32Functions &User32()
{
    // A function-local static: the first caller loads, any other waits.
    static const User32Functions loaded = [] {
        HMODULE module = LoadSystemDll(L"user32.dll", "user32.dll");
        User32Functions functions;
        LAUNCHER_USER32_FUNCTIONS(LAUNCHER_RESOLVE)
        return functions;
    }();
    return loaded;
}

const Gdi32Functions &Gdi32()
{
    static const Gdi32Functions loaded = [] {
        HMODULE module = LoadSystemDll(L"gdi32.dll", "gdi32.dll");
        Gdi32Functions functions;
        LAUNCHER_GDI32_FUNCTIONS(LAUNCHER_RESOLVE)
        return functions;
    }();
    return loaded;
}
