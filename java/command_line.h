// Text the Java launch builds before it touches the system: the class-path
// option, the quoted command line of the Java process and the PATH value the
// process inherits.
// Nothing here calls Windows, so the rules can be read and tested plainly.
#ifndef JAVA_COMMAND_LINE_H
#define JAVA_COMMAND_LINE_H

#include <string>

// One Java VM option, for example "-Xmx256m". An option list owns `text`.
struct OptionEntry {
    char *text;
    void *extra;  // always null
};


// Appends `element` to `line` enclosed in double quotes, escaped so that the
// C runtime's argument splitting gives back exactly `element` as one
// argument: a run of backslashes directly before an embedded double quote or
// before the closing quote is doubled, and an embedded quote is preceded by a
// backslash. Other backslashes stay single, so an element without quotes and
// without trailing backslashes comes out as `"` element `"`.
void AppendQuotedArgument(std::string &line, const char *element);

// The Java process's command line: the quoted executable path, each option's
// text in list order, the main class, then each wizard argument, separated by
// single spaces. `options` may be null when `optionCount` is 0; `argv` may be
// null when `argc` is 0.
std::string BuildJavaCommandLine(const char *javaExecutable, int optionCount,
                                 const OptionEntry *options, const char *mainClass,
                                 int argc, char *const *argv);

// The assignment handed to _putenv for the Java process: "PATH=", then
// `libraryDir` and ";" when it is not null, then `previousPath` and ";" when
// it is not null, with one trailing ";" removed. So an unset PATH gives the
// library directory alone, and a previous value that ends in ";" keeps one.
std::string ComposePathAssignment(const char *libraryDir, const char *previousPath);

// The "-Djava.class.path=" option: for a development kit its tools.jar and
// classes first, then the application home, then each build-time element
// appended to the home. Of the ";"-separated entries of an element, every
// later one that begins with a single backslash (or slash) is appended to
// the home too, so no entry names the root of the current drive.
std::string ClasspathOption(const char *home, const char *const *elements, int count,
                            const char *runtimePath, bool isJdk);

#endif
