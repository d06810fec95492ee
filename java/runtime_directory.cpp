#include "java/runtime_directory.h"

#include "base/mbcs.h"
#include "base/memory.h"

#include <io.h>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool IsReadable(const std::string &path)
{
    return _access(path.c_str(), 4) == 0;
}

} // namespace

char *GetJREPath(const char *dir, Trace &trace)
{
    std::string runtime;
    if (IsReadable(std::string(dir) + "\\bin\\java.dll")) {
        runtime = dir;
    } else if (IsReadable(std::string(dir) + "\\jre\\bin\\java.dll")) {
        runtime = std::string(dir) + "\\jre";
    } else {
        trace.Line("runtime: %s holds neither bin\\java.dll nor jre\\bin\\java.dll", dir);
        return nullptr;
    }
    for (const char *program : {"\\bin\\java.exe", "\\bin\\javaw.exe"}) {
        if (!IsReadable(runtime + program)) {
            trace.Line("runtime: %s%s is missing", runtime.c_str(), program);
            return nullptr;
        }
    }
    return StrDup(runtime.c_str());
}

bool IsJDK(const char *runtimePath)
{
    const char *lastSlash = _strrchr(runtimePath, '\\');
    std::string toolsJar = runtimePath;
    if (lastSlash != nullptr && strcmp(lastSlash, "\\jre") == 0) {
        toolsJar += "\\..\\lib\\tools.jar";
    } else {
        toolsJar += "\\lib\\tools.jar";
    }
    return IsReadable(toolsJar);
}
