#pragma once
// Whether a shred can write, rename and remove a file, from what stands in the
// way (fsys::WriteFacts). "Ignore write protection" lets the run add the owner's
// write bit to the file and its folder, so a missing bit then stops nothing that
// this user may change.
#include <string_view>

#include "platform/WriteFacts.h"

enum class WriteBlock {
    kNone,
    kReadOnlyMount,       // the file system is mounted read-only
    kImmutable,           // the file is immutable (chattr +i)
    kAppendOnly,          // the file may only be appended to (chattr +a)
    kNoPermission,        // no permission to write the file
    kFolderNoPermission,  // no permission to rename or remove it in its folder
};

WriteBlock DecideWriteBlock(const fsys::WriteFacts& facts, bool ignoreProtect);

// A stable English name for --json ("read-only-mount"), and the language key of its text.
std::string_view WriteBlockName(WriteBlock block);
std::string_view WriteBlockTextKey(WriteBlock block);
