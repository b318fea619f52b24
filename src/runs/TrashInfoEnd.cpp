#include "runs/TrashInfoEnd.h"

#include "runs/FileRunContext.h"
#include "runs/RunState.h"
#include "runs/RunSummary.h"

void ShredTrashInfoOf(FileRunContext& run, const fsys::Root& root, const std::u16string& path) {
    if (root.path.empty()) return;
    bool trash = false;
    for (const fsys::Root& t : run.state.trash.Trashes())
        trash = trash || (t.path == root.path && t.identity == root.identity);
    const std::u16string files = root.path + u"files/";
    if (!trash || path.size() <= files.size() || path.compare(0, files.size(), files) != 0) return;
    std::u16string item = path.substr(files.size());
    if (item.back() == u'/') item.pop_back();
    // Only an item of "files" itself has an info file; what lies in a trashed folder has none.
    if (item.empty() || item.find(u'/') != std::u16string::npos) return;
    const std::u16string info = root.path + u"info/" + item + u".trashinfo";
    ShredFileOptions options = run.jobSettings.file;
    options.path = info;
    options.progress = nullptr;
    options.seen = nullptr;
    options.check = nullptr;
    options.stop = nullptr;  // a few hundred bytes: the item went, so does what names it
    run.ops.ConfineTo(root);
    if (run.ops.ShredFile(run.options.passes, options)) return;
    run.allDone = false;
    run.batch.AppendLog(ShredLogLine(info, false, nullptr, run.text, run.ops.LastShred().error));
}
