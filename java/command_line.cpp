#include "java/command_line.h"

#include "base/mbcs.h"

#include <windows.h>

#include <cstring>

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

namespace {

// True for "\x" and "/x": a path on the current drive, from its root (and
// not "\\server\share", which names a network share).
bool IsRootRelative(const std::string &entry)
{
    auto isSlash = [](char c) { return c == '\\' || c == '/'; };
    return entry.size() >= 1 && isSlash(entry[0]) && (entry.size() == 1 || !isSlash(entry[1]));
}

} // namespace

std::string ClasspathOption(const char *home, const char *const *elements, int count,
                            const char *runtimePath, bool isJdk)
{
    std::string option = "-Djava.class.path=";
    if (isJdk) {
        // A development kit keeps tools.jar and classes beside its runtime
        // directory "...\jre", or inside any other runtime directory: the
        // same place IsJDK found tools.jar.
        const char *base = _strrchr(runtimePath, '\\');
        const bool inJre = base != nullptr && strcmp(base, "\\jre") == 0;
        const std::string kit = std::string(runtimePath) + (inJre ? "\\.." : "");
        option += kit + "\\lib\\tools.jar;";
        option += kit + "\\classes;";
    }
    option += home;
    for (int i = 0; i < count; ++i) {
        // Each element is appended to the home, which takes care of its
        // first entry. A later entry that begins with a single backslash
        // would name the root of the current drive, where any local user
        // may plant a jar: it too is taken below the home.
        const char *entry = elements[i];
        for (bool first = true;; first = false) {
            const char *end = _strchr(entry, ';');
            const std::string text = end != nullptr ? std::string(entry, end) : std::string(entry);
            option += ';';
            if (first || IsRootRelative(text)) option += home;
            option += text;
            if (end == nullptr) break;
            entry = end + 1;
        }
    }
    return option;
}
