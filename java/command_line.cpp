#include "java/command_line.h"

#include "base/mbcs.h"

#include <windows.h>

void AppendQuotedArgument(std::string &line, const char *element)
{
    // The C runtime reads 2n backslashes before a quote as n backslashes and
    // a delimiting quote, 2n+1 as n backslashes and a literal quote, and any
    // other backslash literally. So only runs that end at a quote (embedded,
    // or the closing one we add) need doubling.
    line += '"';
    unsigned codePage = LauncherCodePage();
    size_t backslashes = 0;
    for (const char *p = element; *p != '\0'; ++p) {
        if (*p == '\\') {
            ++backslashes;
            continue;
        }
        if (*p == '"') {
            line.append(2 * backslashes + 1, '\\');
        } else {
            line.append(backslashes, '\\');
        }
        backslashes = 0;
        line += *p;
        // In a double-byte code page the second byte of a character may have
        // a backslash's value ("\x95\x5C" is one character in 932): it is
        // part of that character, and neither the C runtime nor we may take
        // it for an escape.
        if (IsDBCSLeadByteEx(codePage, static_cast<unsigned char>(*p)) && p[1] != '\0')
            line += *++p;
    }
    line.append(2 * backslashes, '\\');
    line += '"';
}

std::string BuildJavaCommandLine(const char *javaExecutable, int optionCount,
                                 const OptionEntry *options, const char *mainClass,
                                 int argc, char *const *argv)
{
    std::string line;
    AppendQuotedArgument(line, javaExecutable);
    for (int i = 0; i < optionCount; ++i) {
        line += ' ';
        AppendQuotedArgument(line, options[i].text);
    }
    line += ' ';
    AppendQuotedArgument(line, mainClass);
    for (int i = 0; i < argc; ++i) {
        line += ' ';
        AppendQuotedArgument(line, argv[i]);
    }
    return line;
}

std::string ComposePathAssignment(const char *libraryDir, const char *previousPath)
{
    std::string value = "PATH=";
    if (libraryDir != nullptr) {
        value += libraryDir;
        value += ';';
    }
    if (previousPath != nullptr) {
        value += previousPath;
        value += ';';
    }
    if (value.back() == ';') value.pop_back();
    return value;
}
