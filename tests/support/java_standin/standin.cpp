// A stand-in for a Java runtime's launcher, for tests.
//
// Laid out as <runtime>\bin\java.exe or javaw.exe, it reads its behaviour
// from files beside itself:
//   version.txt   exact bytes written to standard error for "-version"
//                 (each such run leaves a line in version-asked.txt)
//   exitcode.txt  exit code (decimal) for every run; 0 when absent
//   flood.txt     "<stdout bytes> <stderr bytes>" written after the report
//   sleep.txt     milliseconds to sleep before ending
//   release.txt   a Windows path: before ending, wait (at most two minutes)
//                 until that file exists, so a test decides when the
//                 wizard ends instead of guessing how long it must run
//   chdir.txt     a Windows path the run makes its current directory once
//                 it has written its record, as a wizard that moves on does
// Run with anything but "-version" it behaves like a launcher starting a
// program and appends one JSON line to the file named by STANDIN_RECORD, or
// to record.jsonl beside itself: what a Java launcher would have been given.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::wstring ModuleDirectory()
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n < buffer.size()) {
            std::wstring path(buffer.data(), n);
            return path.substr(0, path.find_last_of(L'\\'));
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring ModuleName()
{
    std::vector<wchar_t> buffer(32768);
    DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    std::wstring path(buffer.data(), n);
    return path.substr(path.find_last_of(L'\\') + 1);
}

bool ReadWholeFile(const std::wstring &path, std::string &data)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) data.append(chunk, got);
    CloseHandle(file);
    return true;
}

std::string Setting(const wchar_t *name)
{
    std::string data;
    ReadWholeFile(ModuleDirectory() + L"\\" + name, data);
    return data;
}

void WriteAll(DWORD which, const std::string &data)
{
    HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    size_t done = 0;
    while (done < data.size()) {
        DWORD wrote = 0;
        if (!WriteFile(handle, data.data() + done, static_cast<DWORD>(data.size() - done), &wrote,
                       nullptr) ||
            wrote == 0) {
            return;
        }
        done += wrote;
    }
}

std::string ToUtf8(const std::wstring &text)
{
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n,
                        nullptr, nullptr);
    return out;
}

std::wstring FromAnsi(const std::string &text)
{
    if (text.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

std::string Json(const std::string &utf8)
{
    std::string out = "\"";
    for (unsigned char c : utf8) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escape[8];
            snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string JsonAnsi(const std::string &ansi)
{
    return Json(ToUtf8(FromAnsi(ansi)));
}

std::string JsonOrNull(const wchar_t *name)
{
    DWORD n = GetEnvironmentVariableW(name, nullptr, 0);
    if (n == 0) return "null";
    std::vector<wchar_t> value(n);
    n = GetEnvironmentVariableW(name, value.data(), n);
    return Json(ToUtf8(std::wstring(value.data(), n)));
}

std::string JsonList(const std::vector<std::string> &ansiItems)
{
    std::string out = "[";
    for (size_t i = 0; i < ansiItems.size(); ++i) {
        if (i > 0) out += ", ";
        out += JsonAnsi(ansiItems[i]);
    }
    return out + "]";
}

bool Exists(const std::string &ansiPath)
{
    return GetFileAttributesA(ansiPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// What a Java launcher makes of its arguments: options up to the first
// argument that does not start with '-' (-cp and -classpath take the next
// one), which names the main class; the rest belong to the program.
void RecordLaunch(int argc, char **argv)
{
    std::vector<std::string> all(argv, argv + argc);
    std::vector<std::string> options;
    std::vector<std::string> programArgs;
    std::string mainClass;
    std::string classPath = ".";
    int i = 1;
    for (; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.empty() || arg[0] != '-') break;
        options.push_back(arg);
        if ((arg == "-cp" || arg == "-classpath") && i + 1 < argc) {
            classPath = argv[++i];
            options.push_back(classPath);
        } else if (arg.compare(0, 18, "-Djava.class.path=") == 0) {
            classPath = arg.substr(18);
        }
    }
    if (i < argc) mainClass = argv[i++];
    for (; i < argc; ++i) programArgs.push_back(argv[i]);

    std::vector<std::string> existing;
    size_t start = 0;
    while (start <= classPath.size()) {
        size_t end = classPath.find(';', start);
        if (end == std::string::npos) end = classPath.size();
        std::string entry = classPath.substr(start, end - start);
        if (!entry.empty() && Exists(entry)) existing.push_back(entry);
        start = end + 1;
    }

    // What a wizard listing its own folder finds there.
    std::vector<std::string> listing;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA("*", &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name != "." && name != "..") listing.push_back(name);
        } while (FindNextFileA(find, &found));
        FindClose(find);
    }

    std::vector<char> cwd(GetCurrentDirectoryA(0, nullptr) + 1);
    GetCurrentDirectoryA(static_cast<DWORD>(cwd.size()), cwd.data());

    // When this process started, in seconds since 1970 on the shared clock,
    // so that a benchmark can tell how long the launcher took to get here.
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    ULARGE_INTEGER ticks;
    ticks.LowPart = created.dwLowDateTime;
    ticks.HighPart = created.dwHighDateTime;
    char started[64];
    snprintf(started, sizeof started, "%.6f",
             static_cast<double>(ticks.QuadPart - 116444736000000000ULL) / 1e7);

    std::string record = "{";
    record += "\"exe\": " + Json(ToUtf8(ModuleName()));
    record += std::string(", \"started_unix\": ") + started;
    record += ", \"command_line\": " + Json(ToUtf8(GetCommandLineW()));
    record += ", \"argv\": " + JsonList(all);
    record += ", \"options\": " + JsonList(options);
    record += ", \"main_class\": " + JsonAnsi(mainClass);
    record += ", \"args\": " + JsonList(programArgs);
    record += ", \"cwd\": " + JsonAnsi(cwd.data());
    record += ", \"path\": " + JsonOrNull(L"PATH");
    record += ", \"tmp\": " + JsonOrNull(L"TMP");
    record += std::string(", \"main_class_file\": ") +
              (!mainClass.empty() && Exists(mainClass + ".class") ? "true" : "false");
    record += ", \"class_path\": " + JsonAnsi(classPath);
    record += ", \"class_path_existing\": " + JsonList(existing);
    record += ", \"listing\": " + JsonList(listing);
    record += std::string(", \"console\": ") + (GetConsoleWindow() != nullptr ? "true" : "false");
    record += "}\n";

    DWORD n = GetEnvironmentVariableW(L"STANDIN_RECORD", nullptr, 0);
    std::wstring target = ModuleDirectory() + L"\\record.jsonl";
    if (n > 0) {
        std::vector<wchar_t> value(n);
        n = GetEnvironmentVariableW(L"STANDIN_RECORD", value.data(), n);
        target.assign(value.data(), n);
    }
    HANDLE file = CreateFileW(target.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD wrote = 0;
    WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &wrote, nullptr);
    CloseHandle(file);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 2 && strcmp(argv[1], "-version") == 0) {
        // A mark for each time the version was asked, beside the program.
        HANDLE asked = CreateFileW((ModuleDirectory() + L"\\version-asked.txt").c_str(),
                                   FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_ALWAYS, 0, nullptr);
        if (asked != INVALID_HANDLE_VALUE) {
            DWORD wrote = 0;
            WriteFile(asked, "-version\n", 9, &wrote, nullptr);
            CloseHandle(asked);
        }
        WriteAll(STD_ERROR_HANDLE, Setting(L"version.txt"));
        unsigned long outBytes = 0;
        unsigned long errBytes = 0;
        if (sscanf(Setting(L"flood.txt").c_str(), "%lu %lu", &outBytes, &errBytes) == 2) {
            WriteAll(STD_OUTPUT_HANDLE, std::string(outBytes, 'o'));
            WriteAll(STD_ERROR_HANDLE, std::string(errBytes, 'e'));
        }
    } else {
        RecordLaunch(argc, argv);
    }
    std::string elsewhere = Setting(L"chdir.txt");
    if (!elsewhere.empty()) SetCurrentDirectoryA(elsewhere.c_str());
    std::string pause = Setting(L"sleep.txt");
    if (!pause.empty()) Sleep(static_cast<DWORD>(strtoul(pause.c_str(), nullptr, 10)));
    std::string release = Setting(L"release.txt");
    if (!release.empty()) {
        for (int waited = 0; waited < 120000; waited += 20) {
            if (GetFileAttributesA(release.c_str()) != INVALID_FILE_ATTRIBUTES) break;
            Sleep(20);
        }
    }
    std::string code = Setting(L"exitcode.txt");
    return code.empty() ? 0 : static_cast<int>(strtol(code.c_str(), nullptr, 10));
}
