// Why a copy: the command interpreter opens a batch file by its name and
// reads it again line by line while it runs, so a file in a shared
// temporary directory could be swapped or rewritten between any two lines,
// whatever was checked before. The copy lies in the run's own working
// directory, which only the run may write (see NewPrivateDirectoryDescriptor).
#include "launcher/upgrade.h"

#include "base/file_below.h"
#include "base/file_safety.h"
#include "base/mbcs.h"
#include "base/owned.h"
#include "base/path.h"
#include "launcher/run_state.h"
#include "zip/fileio.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

const char UpgradeBatchName[] = "UpgradeInvoker.bat";

namespace {

// The largest batch file run: far beyond any upgrade script, and little
// enough to hold in memory.
const DWORD kLargestBatch = 16u << 20;

// Opens the batch file `name` in `directory`, held against writers,
// deleters and renamers, and reads its bytes when every check passes.
// Returns the handle, or null with `refusal` saying why.
HANDLE HoldAndRead(const std::string &directory, const RunAccount &account,
                   std::vector<char> *bytes, std::string *refusal)
{
    OwnedHandle parent(CreateFileW(WidenAnsi(directory.c_str()).c_str(),
                                   FILE_LIST_DIRECTORY | FILE_TRAVERSE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!parent.valid()) {
        *refusal = "the temporary directory cannot be opened (error " +
                   std::to_string(GetLastError()) + ")";
        return nullptr;
    }
    const std::wstring name = WidenAnsi(UpgradeBatchName);
    DWORD error = 0;
    OwnedHandle held(OpenBelow(parent.get(), name.c_str(), name.size(),
                               GENERIC_READ | READ_CONTROL | DELETE, FILE_OPEN,
                               FILE_NON_DIRECTORY_FILE, FILE_SHARE_READ, nullptr, &error));
    if (!held.valid()) {
        *refusal = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                       ? "there is none"
                       : error == ERROR_SHARING_VIOLATION
                             ? "another process has it open"
                             : "it cannot be opened and held (error " + std::to_string(error) + ")";
        return nullptr;
    }
    std::string who;
    LARGE_INTEGER size = {};
    if (!IsPlainEntry(parent.get(), name.c_str(), name.size(), held.get()) ||
        GetFileType(held.get()) != FILE_TYPE_DISK)
        *refusal = "it is a link or not a plain file";
    else if (OwnershipOf(held.get(), account) != Ownership::Ours)
        *refusal = "another account owns it";
    else if (WritableByOthers(held.get(), account, &who))
        *refusal = "another account may change it: " + who;
    else if (!GetFileSizeEx(held.get(), &size) || size.QuadPart > kLargestBatch)
        *refusal = "it is larger than a batch file can be";
    if (!refusal->empty()) return nullptr;
    bytes->resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    if (!bytes->empty() &&
        (!ReadFile(held.get(), bytes->data(), static_cast<DWORD>(bytes->size()), &got, nullptr) ||
         got != bytes->size())) {
        *refusal = "it cannot be read";
        return nullptr;
    }
    return held.release();
}

// Writes `bytes` as the batch file in the working directory `directory`
// (a file or link standing there is replaced, never written through).
bool WriteCopy(const std::string &directory, const std::vector<char> &bytes)
{
    const int dir = fileOpenDirectory(-1, fileSeamPath(directory.c_str()).c_str());
    if (dir < 0) return false;
    const int fd = fileCreateFile(dir, UpgradeBatchName, static_cast<int64_t>(bytes.size()));
    fileClose(dir);
    if (fd < 0) return false;
    const bool written =
        bytes.empty() || fileWrite(fd, bytes.data(), static_cast<unsigned>(bytes.size())) ==
                             static_cast<int>(bytes.size());
    return fileClose(fd) == 0 && written;
}

} // namespace

int RunUpgrade(RunState &run)
{
    const std::string shared = "\"" + JoinPath(run.tmpDir, UpgradeBatchName) + "\"";
    std::vector<char> bytes;
    std::string refusal;
    OwnedHandle held(HoldAndRead(run.tmpDir, run.account, &bytes, &refusal));
    if (!held.valid()) {
        run.trace.Line("upgrade: %s not run, and left: %s", shared.c_str(), refusal.c_str());
        return -1;
    }
    const std::string copy = JoinPath(run.WorkingDirectory, UpgradeBatchName);
    if (!WriteCopy(run.WorkingDirectory, bytes)) {
        run.trace.Line("upgrade: %s not run, and left: its copy %s cannot be written",
                       shared.c_str(), copy.c_str());
        return -1;
    }
    const std::string command = "\"" + copy + "\"";
    const int status = InvokeUpgradeTool(command.c_str());
    run.trace.Line("upgrade: %s ran as its copy %s (%s bytes checked) and ended with %d",
                   shared.c_str(), command.c_str(), std::to_string(bytes.size()).c_str(), status);
    // The file checked is the one deleted, whatever its name names now.
    MarkForDeletion(held.get());
    return status;
}

int InvokeUpgradeTool(const char *commandLine)
{
    if (commandLine == nullptr) return 1;

    // CreateProcessW may write into its command line: it gets a copy of its
    // own, however long the temporary directory's path is.
    std::wstring copy = WidenAnsi(commandLine);
    if (copy.empty()) return 1;

    STARTUPINFOW startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    memset(&process, 0, sizeof process);

    if (!CreateProcessW(nullptr, &copy[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return 1;
    }
    OwnedHandle processHandle(process.hProcess);
    OwnedHandle threadHandle(process.hThread);

    int exitCode = 1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code;
    if (GetExitCodeProcess(process.hProcess, &code)) exitCode = static_cast<int>(code);
    return exitCode;
}
