// The removal of a directory tree: the run's working directory at its end
// and after a crash, and the directories earlier runs left (the sweep).
//
// It runs at the end of every run, from the sweep of earlier runs'
// directories and from the exception filter, possibly after memory has been
// damaged, so it keeps to plain malloc (a failed allocation skips one entry
// instead of ending the process) and the owners of base/owned.h, which
// cannot throw.
//
// Nothing it is shown is followed. Each directory is opened once, below its
// parent's handle, as the object itself (never through a link), checked by
// that handle (not a link, and the very object the listing showed), listed
// through the handle and finally deleted through it; its entries are opened
// the same way below it. So a name swapped for a junction or link at any
// moment redirects no delete: at worst the new object is left. A link met in
// a listing is removed as the link and never listed. The walk keeps its own
// stack, so no depth of directories can exhaust the thread's.
//
// Under Wine every deletion is a few round trips to the server, so the files
// are deleted by a few worker threads while the walk goes on. A directory
// counts what is still pending in it; whichever thread finishes the last
// piece removes it and then looks at its parent, so directories still go
// bottom-up. The exception filter removes serially: a fault may have left
// the loader lock held, under which no new thread would start.
#include "launcher/tree_removal.h"
#include "launcher/tree_removal_internal.h"

#include "base/file_safety.h"
#include "base/mbcs.h"
#include "base/owned.h"
#include "base/path.h"
#include "base/workers.h"
#include "launcher/build_variant.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

void (*BetweenListingAndUse)(HANDLE directory, const wchar_t *name, size_t length) = nullptr;

namespace {

const wchar_t kExtendedPrefix[] = L"\\\\?\\";
const size_t kExtendedPrefixLength = sizeof kExtendedPrefix / sizeof kExtendedPrefix[0] - 1;

// One line of the trace about `path`, shown in the ANSI code page without
// its extended-length prefix: "cleanup: <what> <path><after>".
void TracePath(Trace &trace, const char *what, const wchar_t *path, const char *after)
{
    if (!trace.on()) return;
    if (wcsncmp(path, kExtendedPrefix, kExtendedPrefixLength) == 0) path += kExtendedPrefixLength;
    const int size = WideCharToMultiByte(CP_ACP, 0, path, -1, nullptr, 0, nullptr, nullptr);
    OwnedText shown(size > 0 ? static_cast<char *>(malloc(static_cast<size_t>(size))) : nullptr);
    if (!shown.valid() ||
        WideCharToMultiByte(CP_ACP, 0, path, -1, shown.get(), size, nullptr, nullptr) <= 0)
        return;
    trace.Line("cleanup: %s %s%s", what, shown.get(), after);
}

// A failed deletion in the trace, with the system's error.
void TraceFailure(Trace &trace, const char *what, const wchar_t *path)
{
    char error[32];
    snprintf(error, sizeof error, " (error %lu)", GetLastError());
    TracePath(trace, what, path, error);
}

// The paths a removal spares, in the walk's form.
struct KeepList {
    wchar_t **paths = nullptr;
    size_t count = 0;

    KeepList() = default;
    KeepList(const KeepList &) = delete;
    KeepList &operator=(const KeepList &) = delete;
    ~KeepList()
    {
        for (size_t i = 0; i < count; ++i) free(paths[i]);
        free(paths);
    }

    // False when a path could not be converted: nothing may then be removed,
    // since it might be one that must stay.
    bool Take(const char *const *keep)
    {
        if (keep == nullptr) return true;
        size_t total = 0;
        while (keep[total] != nullptr) ++total;
        paths = static_cast<wchar_t **>(malloc((total + 1) * sizeof(wchar_t *)));
        if (paths == nullptr) return false;
        for (; count < total; ++count) {
            paths[count] = NewExtendedLengthPath(keep[count]);
            if (paths[count] == nullptr) return false;
        }
        return true;
    }

    bool Holds(const wchar_t *path) const
    {
        for (size_t i = 0; i < count; ++i) {
            if (wcscmp(path, paths[i]) == 0) return true;
        }
        return false;
    }
};

// A directory being emptied, held open from the moment it was checked until
// it goes: everything below it is opened relative to this handle, so no
// name above it is ever looked up again. Freed by the last of its pending
// pieces of work.
struct Node {
    HANDLE handle;     // DELETE | FILE_LIST_DIRECTORY, the directory itself
    Node *parent;      // null for the directory the removal started at
    LONG pending;      // its listing, files handed out, subdirectories not yet gone
    struct Removal *removal;
    size_t nameLength;
    wchar_t name[1];   // its name in the parent; the whole path for the first
};

// What one removal shares. Without workers every deletion happens during
// the walk; with them, files go to the workers, and whichever thread ends a
// directory's last piece of work removes the directory, then looks at its
// parent in turn: children always go before their parent.
struct Removal {
    const KeepList &keep;
    WorkerPool *workers;  // null: serial
    Trace &trace;
    bool (*stopRequested)();  // asked before each entry; null: never
    std::atomic<bool> stopped{false};  // what is left stays, untraced
};

// The path of `name` in `node` (of `node` itself when name is null), for the
// trace and the keep list; null when it cannot be allocated.
wchar_t *PathOf(const Node *node, const wchar_t *name, size_t nameLength)
{
    size_t length = name != nullptr ? nameLength + 1 : 0;
    for (const Node *at = node; at != nullptr; at = at->parent)
        length += at->nameLength + (at->parent != nullptr ? 1 : 0);
    wchar_t *path = static_cast<wchar_t *>(malloc((length + 1) * sizeof(wchar_t)));
    if (path == nullptr) return nullptr;
    size_t end = length;
    path[end] = L'\0';
    if (name != nullptr) {
        end -= nameLength;
        wmemcpy(path + end, name, nameLength);
        path[--end] = L'\\';
    }
    for (const Node *at = node; at != nullptr; at = at->parent) {
        end -= at->nameLength;
        wmemcpy(path + end, at->name, at->nameLength);
        if (at->parent != nullptr) path[--end] = L'\\';
    }
    return path;
}

// A line about `name` in `node` (about `node` when name is null), with the
// system's `error` when there is one.
void TraceBelow(Trace &trace, const char *what, const Node *node, const wchar_t *name,
                size_t nameLength, DWORD error)
{
    if (!trace.on()) return;
    OwnedWideText path(PathOf(node, name, nameLength));
    if (!path.valid()) return;
    char after[32] = "";
    if (error != 0) snprintf(after, sizeof after, " (error %lu)", error);
    TracePath(trace, what, path.get(), after);
}

Node *NewNode(HANDLE handle, Node *parent, Removal &removal, const wchar_t *name, size_t length)
{
    Node *node = static_cast<Node *>(malloc(sizeof(Node) + length * sizeof(wchar_t)));
    if (node == nullptr) return nullptr;
    node->handle = handle;
    node->parent = parent;
    node->pending = 1;
    node->removal = &removal;
    node->nameLength = length;
    wmemcpy(node->name, name, length);
    node->name[length] = L'\0';
    return node;
}

// One piece of `node`'s work is done. The last one removes the directory
// (empty by then, unless something in it stayed) and passes on to its
// parent, up as far as the chain of finished directories goes.
void Finished(Node *node)
{
    while (node != nullptr && InterlockedDecrement(&node->pending) == 0) {
        Node *parent = node->parent;
        if (!node->removal->stopped.load() && !MarkForDeletion(node->handle))
            TraceBelow(node->removal->trace, "could not remove", node, nullptr, 0, GetLastError());
        CloseHandle(node->handle);
        free(node);
        node = parent;
    }
}

const ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Deletes the file (or file link) `name` in `node`: opened below the
// directory's handle as the entry itself, and gone when the handle closes.
// Read-only files are not made writable: they stay, as does every directory
// above them.
void DeleteBelow(Node *node, const wchar_t *name, size_t length)
{
    DWORD error = 0;
    HANDLE file = OpenBelow(node->handle, name, length, DELETE, FILE_OPEN,
                            FILE_NON_DIRECTORY_FILE | FILE_DELETE_ON_CLOSE, kShareAll, nullptr,
                            &error);
    if (file == nullptr)
        TraceBelow(node->removal->trace, "could not delete", node, name, length, error);
    else
        CloseHandle(file);
}

// A file handed to a worker.
struct FileTask {
    Node *node;
    size_t length;
    wchar_t name[1];
};

void DeleteFileTask(void *task)
{
    TestFaultHook("removal-worker");
    FileTask *file = static_cast<FileTask *>(task);
    DeleteBelow(file->node, file->name, file->length);
    Finished(file->node);
    free(task);
}

// Removes the directory link `name` in `node` as the link: only when the
// handle holds a link itself. A system that opens the link as its target
// (Wine) leaves it, and never lists the target.
void RemoveLinkBelow(Node *node, const wchar_t *name, size_t length)
{
    DWORD error = 0;
    OwnedHandle link(OpenBelow(node->handle, name, length, DELETE | FILE_READ_ATTRIBUTES,
                               FILE_OPEN, 0, kShareAll, nullptr, &error));
    HandleFacts facts;
    if (!link.valid()) {
        TraceBelow(node->removal->trace, "could not remove", node, name, length, error);
    } else if (!FactsOf(link.get(), &facts) || !(facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        TraceBelow(node->removal->trace, "left a link the system opens as its target:", node, name,
                   length, 0);
    } else if (!MarkForDeletion(link.get())) {
        TraceBelow(node->removal->trace, "could not remove", node, name, length, GetLastError());
    }
}

// Opens the subdirectory `name` of `node`, listed with file id `listedId`,
// to be emptied: null, traced, when it cannot be opened or is no longer
// what the listing showed (a link now, or another object under the name).
HANDLE OpenSubdirectory(Node *node, const wchar_t *name, size_t length, uint64_t listedId)
{
    DWORD error = 0;
    OwnedHandle directory(OpenBelow(node->handle, name, length,
                                    DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, FILE_OPEN,
                                    FILE_DIRECTORY_FILE, kShareAll, nullptr, &error));
    if (!directory.valid()) {
        TraceBelow(node->removal->trace, "could not remove", node, name, length, error);
        return nullptr;
    }
    HandleFacts facts;
    if (!FactsOf(directory.get(), &facts) || (facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        (listedId != 0 && facts.id != listedId)) {
        TraceBelow(node->removal->trace, "left, changed since it was listed:", node, name, length,
                   0);
        return nullptr;
    }
    return directory.release();
}

// One directory of the walk, with the part of its listing not yet handled.
struct Frame {
    Node *node;
    unsigned char *batch;   // what the last listing call returned
    size_t at;              // offset of the next entry in it
    bool more;              // entries left in the batch
    bool started;           // a listing call was made
};
const size_t kBatchBytes = 4096;

// The next entry of `frame`'s directory; false when the listing is over.
bool NextEntry(Frame &frame, ListedEntry *entry)
{
    for (;;) {
        if (frame.more) {
            frame.at = EntryAt(frame.batch, frame.at, entry);
            frame.more = frame.at != 0;
            return true;
        }
        if (frame.batch == nullptr ||
            !ReadListing(frame.node->handle, frame.batch, kBatchBytes, !frame.started))
            return false;
        frame.started = true;
        frame.at = 0;
        frame.more = true;
    }
}

// Empties the directory `root` holds and removes it: depth first, without
// recursion (any depth), each directory opened below its parent's handle.
void Walk(Node *root, Removal &removal)
{
    size_t depth = 0;
    size_t capacity = 0;
    Frame *frames = nullptr;
    auto push = [&](Node *node) {
        if (depth == capacity) {
            const size_t grown = capacity == 0 ? 16 : capacity * 2;
            Frame *larger = static_cast<Frame *>(realloc(frames, grown * sizeof(Frame)));
            if (larger == nullptr) return false;
            frames = larger;
            capacity = grown;
        }
        frames[depth++] =
            Frame{node, static_cast<unsigned char *>(malloc(kBatchBytes)), 0, false, false};
        return true;
    };
    if (!push(root)) {
        Finished(root);
        return;
    }
    while (depth > 0) {
        Frame &frame = frames[depth - 1];
        Node *node = frame.node;
        ListedEntry entry;
        if (removal.stopRequested != nullptr && !removal.stopped.load() && removal.stopRequested())
            removal.stopped.store(true);
        if (removal.stopped.load() || !NextEntry(frame, &entry)) {
            free(frame.batch);
            --depth;
            Finished(node);  // its listing is over
            continue;
        }
        const wchar_t *name = entry.name;
        const size_t length = entry.length;
        if ((length == 1 && name[0] == L'.') || (length == 2 && name[0] == L'.' && name[1] == L'.'))
            continue;
        if (removal.keep.count > 0) {
            OwnedWideText path(PathOf(node, name, length));
            if (!path.valid() || removal.keep.Holds(path.get())) continue;
        }
        if (BetweenListingAndUse != nullptr) BetweenListingAndUse(node->handle, name, length);
        switch (ClassifyForRemoval(entry.attributes)) {
        case RemovalAction::Leave:
            break;
        case RemovalAction::DeleteFile:
            if (removal.workers != nullptr) {
                FileTask *task = static_cast<FileTask *>(
                    malloc(sizeof(FileTask) + length * sizeof(wchar_t)));
                if (task != nullptr) {
                    task->node = node;
                    task->length = length;
                    wmemcpy(task->name, name, length);
                    InterlockedIncrement(&node->pending);
                    removal.workers->Submit(DeleteFileTask, task);
                    break;
                }
            }
            DeleteBelow(node, name, length);
            break;
        case RemovalAction::RemoveLink:
            RemoveLinkBelow(node, name, length);
            break;
        case RemovalAction::RemoveTree: {
            HANDLE handle = OpenSubdirectory(node, name, length, entry.id);
            if (handle == nullptr) break;
            Node *child = NewNode(handle, node, removal, name, length);
            if (child == nullptr) {
                CloseHandle(handle);
                break;
            }
            InterlockedIncrement(&node->pending);
            if (!push(child)) {
                Finished(child);  // it stays, as on any allocation failure
            }
            break;
        }
        }
    }
    free(frames);
}

// Removes the directory `handle` holds (taken: closed here), named `path`
// for the trace, with `workers` deleting the files (null: none).
void RemoveHeldDirectory(HANDLE handle, const wchar_t *path, const KeepList &keep,
                         WorkerPool *workers, Trace &trace, bool (*stopRequested)() = nullptr)
{
    Removal removal{keep, workers, trace, stopRequested};
    Node *root = NewNode(handle, nullptr, removal, path, wcslen(path));
    if (root == nullptr) {
        CloseHandle(handle);
        return;
    }
    Walk(root, removal);
    if (workers != nullptr) workers->Wait();
}

// Opens the directory `path` for its removal, unless it is a link.
HANDLE OpenDirectoryToRemove(const wchar_t *path, Trace &trace)
{
    OwnedHandle directory(CreateFileW(path, DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                      kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                      nullptr));
    HandleFacts facts;
    if (!directory.valid()) {
        TraceFailure(trace, "could not remove", path);
        return nullptr;
    }
    if (!FactsOf(directory.get(), &facts) || (facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        TracePath(trace, "left", path, ": a link, or it cannot be examined");
        return nullptr;
    }
    return directory.release();
}

// The removal from `path` with `workers` deleting the files (null: none).
void Remove(const wchar_t *path, const KeepList &keep, WorkerPool *workers, Trace &trace)
{
    // The path's own attributes, which say whether it is a link; a path
    // whose attributes cannot be read is left alone.
    switch (ClassifyForRemoval(GetFileAttributesW(path))) {
    case RemovalAction::Leave:
        TracePath(trace, "left", path, ": its attributes cannot be read");
        return;
    case RemovalAction::DeleteFile:
        if (!DeleteFileW(path)) TraceFailure(trace, "could not delete", path);
        return;
    case RemovalAction::RemoveLink:
        if (!RemoveDirectoryW(path)) TraceFailure(trace, "could not remove", path);
        return;
    case RemovalAction::RemoveTree: {
        HANDLE directory = OpenDirectoryToRemove(path, trace);
        if (directory != nullptr) RemoveHeldDirectory(directory, path, keep, workers, trace);
        return;
    }
    }
}

} // namespace

RemovalAction ClassifyForRemoval(DWORD attributes)
{
    // Unknown attributes may hide a link: nothing is removed on a guess.
    if (attributes == INVALID_FILE_ATTRIBUTES) return RemovalAction::Leave;
    bool directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        return directory ? RemovalAction::RemoveLink : RemovalAction::DeleteFile;
    }
    return directory ? RemovalAction::RemoveTree : RemovalAction::DeleteFile;
}

void DeleteFilesAndDirectories(const char *path, const char *const *keep, int workers,
                               Trace &trace)
{
    if (path == nullptr || !IsAbsolutePath(path)) return;

    const char *lastSlash = _strrchr(path, '\\');
    if (lastSlash == nullptr) return;
    const char *lastComponent = lastSlash + 1;
    if (strcmp(lastComponent, ".") == 0 || strcmp(lastComponent, "..") == 0) return;

    if (*lastComponent == '\0') {
        // "dir\" names the same thing as "dir". Only that is removed: going
        // on with "dir\" itself would find nothing more for an ordinary
        // directory, but would empty a whole drive for "C:\" or "\".
        size_t length = static_cast<size_t>(lastSlash - path);
        char *trimmed = static_cast<char *>(malloc(length + 1));
        if (trimmed == nullptr) return;
        memcpy(trimmed, path, length);
        trimmed[length] = '\0';
        DeleteFilesAndDirectories(trimmed, keep, workers, trace);
        free(trimmed);
        return;
    }

    // The walk runs on the wide calls with extended-length paths: the
    // wizard may leave paths longer than MAX_PATH, or names the ANSI code
    // page cannot spell, which the 8-bit calls could neither list nor delete.
    OwnedWideText root(NewExtendedLengthPath(path));
    KeepList kept;
    if (!root.valid() || !kept.Take(keep) || kept.Holds(root.get())) return;

    if (workers <= 0) {
        Remove(root.get(), kept, nullptr, trace);
        return;
    }
    WorkerPool pool(workers, workers * 8);
    Remove(root.get(), kept, pool.Threads() > 0 ? &pool : nullptr, trace);
}

void DeleteHeldDirectory(HANDLE directory, const char *path, int workers, Trace &trace,
                         bool (*stopRequested)())
{
    OwnedWideText shown(NewExtendedLengthPath(path));
    if (!shown.valid()) {
        CloseHandle(directory);
        return;
    }
    KeepList none;
    if (workers <= 0) {
        RemoveHeldDirectory(directory, shown.get(), none, nullptr, trace, stopRequested);
        return;
    }
    WorkerPool pool(workers, workers * 8);
    RemoveHeldDirectory(directory, shown.get(), none, pool.Threads() > 0 ? &pool : nullptr, trace,
                        stopRequested);
}
