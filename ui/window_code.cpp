// Implementation note: each table is a function-local static, so the
// first caller loads the DLL and a caller on another thread meanwhile waits
// for it (the C++ runtime guards the initialisation).
#include "ui/window_code.h"

#include "base/mbcs.h"

#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void NotLoaded(const char *what)
{
    fprintf(stderr, "The window code could not be loaded: %s\n", what);
    exit(1);
}

// `Function` is the type the Windows headers declare for `name`.
template <typename Function>
void Resolve(HMODULE module, const char *name, Function *function)
{
    FARPROC found = GetProcAddress(module, name);
    if (found == nullptr) NotLoaded(name);
    *function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

// The table `Table` of the system DLL `dll`, each function found by
// `resolve(module, table)`.
template <typename Table, typename Resolver>
Table LoadTable(const char *dll, Resolver resolve)
{
    HMODULE module = LoadLibraryW(WidenAnsi(dll).c_str());
    if (module == nullptr) NotLoaded(dll);
    Table table;
    resolve(module, table);
    return table;
}

} // namespace

#define LAUNCHER_RESOLVE(name) Resolve(module, #name, &functions.name);

const User32Functions &User32()
{
    static const User32Functions loaded = LoadTable<User32Functions>(
        "user32.dll",
        [](HMODULE module, User32Functions &functions) {
            LAUNCHER_USER32_FUNCTIONS(LAUNCHER_RESOLVE)
        });
    return loaded;
}

const Gdi32Functions &Gdi32()
{
    static const Gdi32Functions loaded = LoadTable<Gdi32Functions>(
        "gdi32.dll",
        [](HMODULE module, Gdi32Functions &functions) {
            LAUNCHER_GDI32_FUNCTIONS(LAUNCHER_RESOLVE)
        });
    return loaded;
}
