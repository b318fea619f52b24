#pragma once
// A trashed item and its ".trashinfo" are one entry: once the item has gone, the
// info that names where it came from goes with it, from the same trash folder.
#include <string>

#include "platform/ConfinedPath.h"

struct FileRunContext;

// After the row of `path` (a file, or a folder ending with "/") left the list:
// when `root` is a trash folder of the run and `path` an item right in its
// "files", shreds "info/<item>.trashinfo" with the run's options. A failure is
// logged and leaves the run partly done; an info already gone is no failure.
void ShredTrashInfoOf(FileRunContext& run, const fsys::Root& root, const std::u16string& path);
