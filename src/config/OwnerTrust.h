#pragma once
// Whose word the program takes. Settings, the log, the in-progress record and the
// portable "SavePath.ini" steer what gets read, written and deleted, so they count
// only when they belong to the effective user (or root) and nobody else may
// change them: a program run as root with another user's HOME must not take
// orders from that user's files.
#include <sys/stat.h>

#include <string>

// Owned by the effective user or by root, and writable by neither group nor
// others.
bool IsOwnedAndPrivate(const struct stat& st);

// Whether nobody but the effective user and root can change what `folder` names:
// every folder from "/" down to it (links resolved) belongs to one of them, and
// one that others may write into is sticky (as /tmp is). A folder whose group is
// our own effective group counts as private to us, as with per-user groups. The
// folder itself must be private by IsOwnedAndPrivate. False for a missing folder.
bool IsTrustedFolder(const std::string& folder);

// The folder of the effective user's home from the password database; empty
// when there is none.
std::string EffectiveUserHome();

// Whether `path` (or, when it does not exist yet, the nearest folder above it)
// belongs to another user than the effective one or root, as HOME does under
// "sudo -E".
bool BelongsToAnotherUser(const std::string& path);
