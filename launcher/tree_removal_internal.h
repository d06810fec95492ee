// The removal's decision for one path, kept apart for the tests.
#ifndef LAUNCHER_TREE_REMOVAL_INTERNAL_H
#define LAUNCHER_TREE_REMOVAL_INTERNAL_H

#include "launcher/tree_removal.h"

// How DeleteFilesAndDirectories treats one existing path, decided from its
// file attributes alone (kept apart from the file system so that it can be
// checked where links cannot be made).
enum class RemovalAction {
    Leave,            // attributes unknown (INVALID_FILE_ATTRIBUTES): untouched
    DeleteFile,       // a plain file, or a symbolic link to a file
    RemoveLink,       // a directory junction or directory symbolic link
    RemoveTree,       // a real directory: its contents first, then itself
};
RemovalAction ClassifyForRemoval(DWORD attributes);

// Called by the removal between listing an entry and opening it (tests
// swap the entry there); null in the programs.
extern void (*BetweenListingAndUse)(HANDLE directory, const wchar_t *name, size_t length);

#endif
