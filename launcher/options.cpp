// The command line serves two masters: some options steer the launcher (which
// runtime, which temporary directory, console output), others are meant for
// the Java wizard, which gets a vector of its own. Parsing reads every
// argument once, stops at the first error, and only then turns what it found
// into the wizard's arguments, so an option given twice contributes its
// wizard arguments once and the last state file named serves both -silent
// and -savestate.
#include "launcher/options.h"

#include "base/memory.h"
#include "base/path.h"
#include "launcher/instance.h"
#include "launcher/run_state.h"
#include "product/product.h"
#include "ui/report.h"

#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

const char RequiredJavaVersion[] = "1.5";

namespace {

// Options that only switch a flag of the run on: a Java system property, or
// the wizard's -id.
struct FlagOption {
    const char *name;
    bool RunState::*flag;
};
const FlagOption flagOptions[] = {
    {"-debug", &RunState::debug},
    {"-noportcheck", &RunState::noPortCheck},
    {"-nodomain", &RunState::noDomain},
    {"-passwordvisible", &RunState::passwordVisible},
    {"-id", &RunState::printWizardId},
};

// Switches on `run`'s flag that `arg` names; false when it names none.
bool SetFlagOption(RunState &run, const char *arg)
{
    for (const FlagOption &option : flagOptions) {
        if (strcmp(arg, option.name) == 0) {
            run.*option.flag = true;
            return true;
        }
    }
    return false;
}

// True when the option `arg` is followed by its value.
bool TakesValue(const char *arg)
{
    if (strcmp(arg, "-silent") == 0) return IsStateFileRequired();
    for (const char *option : {"-savestate", "-javahome", "-tmpdir", "-log"})
        if (strcmp(arg, option) == 0) return true;
    return false;
}

} // namespace

const char *LogFileArgument(int argc, char **argv)
{
    const char *log = nullptr;
    for (int i = 0; i < argc; ++i) {
        if (strcmp(argv[i], "-help") == 0 || strcmp(argv[i], "-h") == 0) break;
        if (!TakesValue(argv[i])) continue;
        if (i + 1 == argc) break;
        if (strcmp(argv[i], "-log") == 0) log = argv[i + 1];
        ++i;
    }
    return log;
}

namespace {

// Replaces an owned text with a copy of `value` (or null).
void Replace(char **owned, const char *value)
{
    free(*owned);
    *owned = value != nullptr ? StrDup(value) : nullptr;
}

// The full path of `*path` (FullPath), in a fresh text: a relative,
// drive-relative ("C:jdk") or root-relative ("\jdk") path would name
// something else once the launcher has changed its current directory. Kept
// as typed when the system resolves nothing.
void MakeFull(char **path)
{
    if (*path == nullptr) return;
    std::string full = FullPath(*path);
    if (full.empty()) return;
    free(*path);
    *path = StrDup(full.c_str());
}

// The wizard's fixed arguments. The vector holds them as char * like the
// state file; nobody writes through them.
char *WizardText(const char *text)
{
    return const_cast<char *>(text);
}

// The wizard's argument vector (a fresh vector ending with a null entry; its
// length in *count) for what the command line asked: the display options of
// console and silent mode, the state file to read and the one to save to,
// and the wizard's id. `stateFile` is kept by the vector.
char **WizardArguments(bool console, bool silent, bool saveState, char *stateFile,
                       bool printWizardId, int *count)
{
    std::vector<char *> wizard;
    if (console) wizard.push_back(WizardText("-nodisplay"));
    if (silent) {
        wizard.push_back(WizardText("-nodisplay"));
        wizard.push_back(WizardText("-noconsole"));
        if (stateFile != nullptr) {
            wizard.push_back(WizardText("-state"));
            wizard.push_back(stateFile);
        }
    }
    if (saveState && stateFile != nullptr) {
        wizard.push_back(WizardText("-saveState"));
        wizard.push_back(stateFile);
    }
    if (printWizardId) wizard.push_back(WizardText("-id"));

    char **vector = static_cast<char **>(MemAlloc(sizeof(char *) * (wizard.size() + 1)));
    for (size_t i = 0; i < wizard.size(); ++i) vector[i] = wizard[i];
    vector[wizard.size()] = nullptr;
    *count = static_cast<int>(wizard.size());
    return vector;
}

} // namespace

void AddOption(RunState &run, char *text)
{
    if (run.OptionCount == run.OptionCapacity) {
        int capacity = run.OptionList == nullptr ? 4 : run.OptionCapacity * 2;
        OptionEntry *grown =
            static_cast<OptionEntry *>(MemAlloc(sizeof(OptionEntry) * static_cast<size_t>(capacity)));
        for (int i = 0; i < run.OptionCount; ++i) grown[i] = run.OptionList[i];
        free(run.OptionList);
        run.OptionList = grown;
        run.OptionCapacity = capacity;
    }
    run.OptionList[run.OptionCount].text = text;
    run.OptionList[run.OptionCount].extra = nullptr;
    ++run.OptionCount;
}

void PrintUsage(const RunState &run)
{
    const char *key =
        strcmp(GetJavaClassName(), "tarvisk_uninstall") == 0 ? "uninstallusage" : "installusage";
    ReportError(key, Shown(run.ProgramName), RequiredJavaVersion);
}

bool ParseArguments(RunState &run, int *argc, char ***argv, int *exitStatus)
{
    *exitStatus = 1;
    char **const javaHome = &run.javaHome;
    char **const tmpDir = &run.tmpDir;
    *javaHome = nullptr;
    run.consoleMode = 0;

    bool console = false;
    bool silent = false;
    bool saveState = false;
    char *stateFile = nullptr;

    // Every way out before the wizard's arguments exist drops what was
    // collected.
    auto giveUp = [&](int status) {
        free(stateFile);
        free(*javaHome);
        *javaHome = nullptr;
        free(*tmpDir);
        *tmpDir = nullptr;
        *argv = nullptr;
        *exitStatus = status;
        return false;
    };
    auto fail = [&](const char *key, const char *argument) {
        ReportError(key, Shown(argument));
        PrintUsage(run);
        return giveUp(1);
    };

    const int count = *argc;
    char **const args = *argv;
    for (int i = 0; i < count; ++i) {
        const char *arg = args[i];
        const char *value = i + 1 < count ? args[i + 1] : nullptr;

        if (strcmp(arg, "-help") == 0 || strcmp(arg, "-h") == 0) {
            PrintUsage(run);
            return giveUp(0);
        }
        if (strcmp(arg, "-console") == 0) {
            console = true;
            continue;
        }
        if (strcmp(arg, "-silent") == 0) {
            if (IsStateFileRequired()) {
                if (value == nullptr) return fail("missing_file_name", arg);
                Replace(&stateFile, value);
                ++i;
            }
            silent = true;
            continue;
        }
        if (strcmp(arg, "-savestate") == 0) {
            if (value == nullptr) return fail("missing_file_name", arg);
            Replace(&stateFile, value);
            ++i;
            saveState = true;
            continue;
        }
        if (strcmp(arg, "-javahome") == 0) {
            if (value == nullptr) return fail("missing_jvm_dir", arg);
            Replace(javaHome, value);
            ++i;
            continue;
        }
        if (strcmp(arg, "-log") == 0) {
            // Opened before the command line was read (LogFileArgument).
            if (value == nullptr) return fail("missing_file_name", arg);
            ++i;
            continue;
        }
        if (strcmp(arg, "-tmpdir") == 0) {
            if (value == nullptr) return fail("missing_writable_dir", arg);
            if (!SetTempDir(run, value)) return fail("no_writable_dir", value);
            // The accepted form, its full path, so that it still names the
            // same place once the working directory has become the current
            // one.
            Replace(tmpDir, GetTempDir(run));
            ++i;
            continue;
        }
        if (!SetFlagOption(run, arg)) return fail("no_valid_arg", arg);
    }

    MakeFull(javaHome);
    MakeFull(&stateFile);

    if (!console && !silent && run.ScreenColourDepth() < MinimumColourDepth) {
        if (!run.AskForConsoleMode()) {
            PrintUsage(run);
            return giveUp(1);
        }
        console = true;
    }

    if (console) run.consoleMode = 1;
    if (silent) SetPrintToConsole(1);
    *argv = WizardArguments(console, silent, saveState, stateFile, run.printWizardId, argc);
    return true;
}
