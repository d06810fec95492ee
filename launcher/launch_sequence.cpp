// The launch sequence. Every step that fails prints its localized messages on
// the standard error stream and ends the run with status 1.
#include "launcher/launch_sequence.h"

#include "launcher/product.h"
#include "ui/catalogue.h"
#include "ui/mbcs.h"
#include "ui/output.h"

#include <cstdio>
#include <cstdlib>

char *ProgramName;
char *WorkingDirectory;
bool runCleanupHook;

namespace {

// Prints the catalogue text of `key` as an error, with its arguments.
template <typename... Args> void PrintError(const char *key, Args... args)
{
    char *text = GetLocalizedMessage(key);
    _fprintf(stderr, text, args...);
    free(text);
}

} // namespace

int _main(int argc, char **argv)
{
    // --- identify: the executable, its name, the user's arguments ----------
    char *execPath = SetExecName(argc > 0 ? argv[0] : nullptr);
    if (execPath == nullptr) {
        PrintError("no_resolve_exec_path");
        return 1;
    }
    char *slash = _strrchr(execPath, '\\');
    ProgramName = slash != nullptr ? slash + 1 : execPath;
    --argc;
    ++argv;

    // The remaining steps arrive with their subsystems; until then the run
    // cannot succeed and says so through its status.
    (void)argc;
    (void)argv;
    return 1;
}
