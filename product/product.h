// Where the launcher is, and what product it launches.
//
// The product values (main class, class path, download page, modern
// runtimes, trace variable, start delay) are those the program file carries
// (a resource the packer writes, see base/product_values.h), else those it
// was built with (the CMake-generated product_config.h and the program's
// build variant); everything else here is derived at run time and cached for
// the life of the process.
#ifndef PRODUCT_PRODUCT_H
#define PRODUCT_PRODUCT_H

#include <string>

// Full path of the running executable, asked of the system on the first call
// (growing the buffer by 260 bytes until the name fits) and cached. The
// argument, the program name as invoked, is not used. Null when the system
// gives no name; a later call then asks again. Never free the result.
char *SetExecName(const char *program);

// The cached executable path, or null before SetExecName has succeeded.
char *GetExecName();

// The application home: the directory the wizard runs in. Until the launch
// sequence replaces it (SetApplicationHome) it is the executable's directory,
// derived on first use. Null when the executable path is unknown. Never free.
char *GetApplicationHome();

// Replaces the cached application home with `home` (a MemAlloc'd text that
// the cache now owns), freeing the previous one.
void SetApplicationHome(char *home);

// "<ProductName> <ProductVersion>" as the program's own version resource
// gives them, in the ANSI code page; "(no version resource)" without one.
std::string ProductOfVersionResource();

// Reads the product values the program file carries. Where it carries none,
// or none for a key, the built-in value holds, byte for byte. False, with
// *error saying why, when the values it carries are damaged (malformed,
// oversized, or breaking their rules): the program must not run half
// configured. Call it once, first thing; the getters below see its result.
bool LoadProductValues(std::string *error);

// The Java main class of the installer wizard. Do not free.
const char *GetJavaClassName();

// Stores the address of the static class-path element array in *elements
// and returns its length. Each element is appended directly to the
// application home, so it starts with a backslash. Do not free.
int GetJavaClasspathElements(const char *const **elements);

// "setup_" followed by `key`, in a fresh MemAlloc'd text the caller frees.
char *GetMessageKeyPrefix(const char *key);

// True: -silent must be followed by a state file name.
bool IsStateFileRequired();

// The product's cleanup hook, run at exit after a normal run. Does nothing
// for this product.
void Cleanup();

// The Java download page shown when no runtime is found. Do not free.
const char *GetDownloadUrl();

// The environment variable that names the file a run appends its trace to.
const char *GetTraceVariable();

// Milliseconds between starting the wizard and hiding the status window.
unsigned GetJavaStartDelayMs();

// True when runtimes of feature version 9 and later are accepted as well.
bool AcceptsModernJava();

// Build-variant values, defined in product/build_variant.cpp, which each
// program compiles with its own settings: what the getters above give when
// the program file carries no value of its own.
extern const unsigned JavaStartDelayMs;
extern const bool AcceptModernJava;

#endif
