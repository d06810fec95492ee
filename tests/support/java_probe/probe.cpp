// Runs one Java runtime function and prints its result, for the black-box
// tests:
//   public [HOME]          GetPublicJREPath (application home HOME, else the
//                          probe's own directory); may be given twice
//   checkjre DIR           CheckJREVersion and CheckJavaVersion
//   execute RT [--home H] [--path P | --unset-path] [--tmp T] [--console]
//           [--opt X]... [-- ARG...]
//                          ExecuteJava with application home H, else the
//                          current directory; exit status is its result
// Results print as "result=<text>" or "result=(null)".
#include "base/memory.h"
#include "java/launch.h"
#include "java/runtime.h"
#include "java/version.h"
#include "launcher/options.h"
#include "product/product.h"
#include "zip/archive.h"
#include "ui/output.h"

#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void PrintResult(const char *text)
{
    printf("result=%s\n", text != nullptr ? text : "(null)");
    fflush(stdout);
}

int Usage()
{
    fprintf(stderr, "usage: java_probe public|checkjre|execute ...\n");
    return 2;
}

int Execute(int argc, char **argv)
{
    const char *runtime = argv[0];
    std::vector<OptionEntry> options;
    std::vector<char *> wizardArgs;
    const char *home = nullptr;
    int i = 1;
    for (; i < argc; ++i) {
        if (strcmp(argv[i], "--home") == 0 && i + 1 < argc) {
            home = argv[++i];
        } else if (strcmp(argv[i], "--path") == 0 && i + 1 < argc) {
            std::string assignment = std::string("PATH=") + argv[++i];
            _putenv(assignment.c_str());
        } else if (strcmp(argv[i], "--tmp") == 0 && i + 1 < argc) {
            std::string assignment = std::string("TMP=") + argv[++i];
            _putenv(assignment.c_str());
        } else if (strcmp(argv[i], "--unset-path") == 0) {
            _putenv("PATH=");  // an empty assignment removes the variable
        } else if (strcmp(argv[i], "--console") == 0) {
            SetPrintToConsole(1);
        } else if (strcmp(argv[i], "--opt") == 0 && i + 1 < argc) {
            options.push_back(OptionEntry{StrDup(argv[++i]), nullptr});
        } else if (strcmp(argv[i], "--") == 0) {
            ++i;
            break;
        } else {
            return Usage();
        }
    }
    for (; i < argc; ++i) wizardArgs.push_back(argv[i]);
    // The launch sequence runs the wizard from the application home, which
    // is its current directory by then; so the probe takes the current
    // directory unless told otherwise.
    std::vector<char> cwd(GetCurrentDirectoryA(0, nullptr) + 1);
    GetCurrentDirectoryA(static_cast<DWORD>(cwd.size()), cwd.data());
    SetApplicationHome(StrDup(home != nullptr ? home : cwd.data()));
    int status = ExecuteJava(runtime, static_cast<int>(options.size()), options.data(),
                             static_cast<int>(wizardArgs.size()), wizardArgs.data());
    const char *path = getenv("PATH");
    printf("path-after=%s\n", path != nullptr ? path : "(unset)");
    printf("status=%d\n", status);
    fflush(stdout);
    return status;
}

} // namespace

int main(int argc, char **argv)
{
    SetExecName(argv[0]);
    if (argc < 2) return Usage();
    const char *command = argv[1];
    if (strcmp(command, "public") == 0 && argc <= 4) {
        if (argc >= 3) SetApplicationHome(StrDup(argv[2]));
        int rounds = argc == 4 && strcmp(argv[3], "twice") == 0 ? 2 : 1;
        PayloadRuntime payload;
        payload.archive = zipOpen(SetExecName(nullptr), nullptr);
        for (int round = 0; round < rounds; ++round) {
            char *path = GetPublicJREPath(ReadRunAccount(), &payload);
            PrintResult(path);
            free(path);
        }
        if (payload.archive != nullptr) zipClose(payload.archive);
        return 0;
    }
    if (strcmp(command, "checkjre") == 0 && argc == 3) {
        char *version = CheckJREVersion(argv[2]);
        PrintResult(version);
        free(version);
        printf("supported=%s\n", CheckJavaVersion(argv[2]) ? "true" : "false");
        return 0;
    }
    if (strcmp(command, "execute") == 0 && argc >= 3) return Execute(argc - 2, argv + 2);
    return Usage();
}
