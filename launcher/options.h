// The command line: launcher options, the wizard's arguments, and the ordered
// list of Java VM options.
#ifndef LAUNCHER_OPTIONS_H
#define LAUNCHER_OPTIONS_H

// One Java VM option, for example "-Xmx256m". The list owns `text`.
struct OptionEntry {
    char *text;
    void *extra;  // always null
};

// The process-wide option list, in insertion order; never shortened or freed.
extern OptionEntry *OptionList;
extern int OptionCount;

// Appends `text` (a fresh MemAlloc'd text the list keeps). The array starts
// with room for 4 and doubles when full.
void AddOption(char *text);

// Process-wide flags set by the command line; all start false.
extern bool debug;            // -debug           -> "-Ddebug=true"
extern bool noPortCheck;      // -noportcheck     -> "-Dno.port.verification=true"
extern bool noDomain;         // -nodomain        -> "-Dno.domain=true"
extern bool passwordVisible;  // -passwordvisible -> "-Dpassword.visible=true"
extern bool printWizardId;    // -id              -> wizard argument "-id"

// Reads the launcher's arguments (*argc, *argv without the program name).
// True: *argc and *argv now hold the wizard's arguments (a fresh vector ending
// with a null entry) and *javaHome, *tmpDir and *consoleMode are filled.
// False: the run ends with *exitStatus (0 after -help or -h, 1 after an
// error, which has been reported followed by the usage text); *javaHome and
// *tmpDir are null and *argv is null.
bool ParseArguments(int *argc, char ***argv, char **javaHome, char **tmpDir,
                    char *consoleMode, int *exitStatus);

// Prints the usage text on the standard error stream.
void PrintUsage();

#endif
