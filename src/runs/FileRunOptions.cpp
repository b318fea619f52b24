#include "runs/FileRunOptions.h"

#include "config/TextConv.h"
#include "runs/FileRun.h"
#include "runs/RunWindow.h"

RunOptions TakeOptions(RunWindow& window) {
    const AppSettings s = window.CurrentSettings();
    RunOptions o;
    o.passes = PassesFromText(window.IterationsText());
    // An empty value setting means random data as well.
    o.file.shredValue = s.random != 0 ? std::u16string() : WideFromUtf8(s.shredValue);
    o.file.shredNames = s.shredNames != 0;
    o.file.modifySize = s.modifySize != 0;
    o.file.sizeToZero = s.modifySizeType == 0;
    o.file.blockSize = s.shredBlockSize;
    o.file.deleteAfter = !s.fileShredLeaveFiles;
    o.keepFolders = s.fileShredFileShred;
    o.keepChosenFolders = s.keepChosenFolders;
    o.ignoreProtect = s.ignoreProtect;
    o.settings = s;
    return o;
}
