// Measures the folder expansion and the Remove command against references taken in
// the same run, so the figures are ratios that do not depend on the machine:
//   expansion of a tree  /  a bare walk of the same tree with the folder walker
//   Remove (bottom-up)   /  the same removal walked from the top
// Usage: filelist_bench [files=20000] [rows=100000]
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "config/TextConv.h"
#include "engine/FileOps.h"
#include "filelist/FileListOps.h"
#include "filelist/FolderExpansion.h"
#include "filelist/FolderQueue.h"
#include "platform/ListCtrl.h"
#include "runs/RunState.h"
#include "runs/RunWindow.h"

namespace {

// A window that keeps rows and the status line in memory and ignores the rest.
class MemoryWindow final : public RunWindow {
  public:
    CListCtrl list;
    std::u16string status;

    MemoryWindow() {
        for (int c = 0; c < 4; ++c) list.InsertColumn(c, u"");
    }
    int RowCount() override { return list.GetItemCount(); }
    bool RowChecked(int row) override { return list.GetCheck(row); }
    std::u16string RowText(int row, int column) override { return list.GetItemText(row, column); }
    void DeleteRow(int row) override { list.DeleteItem(row); }
    void SetRowText(int row, int column, const std::u16string& text) override {
        list.SetItemText(row, column, text);
    }
    void AppendRow(const std::u16string& name, const std::u16string& size,
                   const std::u16string& date, const std::u16string& path) override {
        int i = list.InsertItem(list.GetItemCount(), name);
        list.SetItemText(i, 1, size);
        list.SetItemText(i, 2, date);
        list.SetItemText(i, 3, path);
        list.SetCheck(i, true);
    }
    void SetStatusText(const std::u16string& text) override { status = text; }
    std::u16string StatusText() override { return status; }
    void SetProgressRange(int) override {}
    void SetProgressPos(int) override {}
    int ProgressUpper() override { return 0; }
    int ProgressPos() override { return 0; }
    void SetClockText(const std::u16string&) override {}
    void SetIndicatorText(const std::u16string&) override {}
    AppSettings CurrentSettings() override { return {}; }
    std::u16string IterationsText() override { return u"1"; }
    bool ConfirmChecked() override { return false; }
    int EndAction() override { return 0; }
    std::u16string MessageText(std::string_view key) override {
        return key == "FrmMain.m_acMAmountOfFile" ? u"Amount of files: %d" : u"";
    }
    int AskConfirmation(const std::u16string&) override { return 2; }
    void ShowInfoMessage(const std::u16string&) override {}
    void LockForRun() override {}
    void UnlockAfterRun() override {}
    void BeginRunLog() override {}
    void AppendLog(const std::u16string&) override {}
    void StoreSettings() override {}
    void EndProgram() override {}
};

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void FillList(CListCtrl& list, int rows, bool alternate) {
    list.DeleteAllItems();
    for (int i = 0; i < rows; ++i) {
        list.InsertItem(i, u"name");
        list.SetItemText(i, 3, u"/some/path/name");
        list.SetCheck(i, !alternate || i % 2 == 0);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int files = argc > 1 ? std::atoi(argv[1]) : 20000;
    const int rows = argc > 2 ? std::atoi(argv[2]) : 100000;
    namespace fs = std::filesystem;

    // A tree of `files` empty files in folders of 500.
    std::string root = (fs::temp_directory_path() / "kelvane-bench-XXXXXX").string();
    if (!::mkdtemp(root.data())) return 1;
    root += "/";
    for (int i = 0; i < files; ++i) {
        std::string folder = root + "d" + std::to_string(i / 500) + "/";
        if (i % 500 == 0) fs::create_directories(folder);
        int fd = ::open((folder + "f" + std::to_string(i)).c_str(), O_CREAT | O_WRONLY, 0600);
        if (fd >= 0) ::close(fd);
    }

    auto t = std::chrono::steady_clock::now();
    FileOps ops;
    WalkOptions options;
    options.startFolder = WideFromUtf8(root);
    options.reportEmptyFolders = true;
    ops.WalkConfigure(options);
    std::u16string path;
    int64_t size = 0, time = 0;
    int walked = 0;
    for (bool more = ops.WalkFirst(path, size, time); more; more = ops.WalkNext(path, size, time))
        walked += path.empty() ? 0 : 1;
    const double walkTime = Seconds(t);

    MemoryWindow window;
    RunState state;
    state.stop = false;
    ClearFolderQueue(state);
    QueueFolder(state, WideFromUtf8(root));
    t = std::chrono::steady_clock::now();
    ExpandQueuedFolders(window, state);
    const double expandTime = Seconds(t);
    std::printf("expansion: %d files walked in %.3f s; %d rows in %.3f s; ratio %.2f\n", walked,
                walkTime, window.RowCount(), expandTime, expandTime / walkTime);
    fs::remove_all(root);

    for (bool alternate : {false, true}) {
        FillList(window.list, rows, alternate);
        t = std::chrono::steady_clock::now();
        for (int i = 0; i < window.list.GetItemCount();) {
            if (window.list.GetCheck(i))
                window.list.DeleteItem(i);
            else
                ++i;
        }
        const double topDown = Seconds(t);
        FillList(window.list, rows, alternate);
        t = std::chrono::steady_clock::now();
        RemoveSelectedRows(window.list, window);
        const double bottomUp = Seconds(t);
        std::printf("remove %s of %d rows: top-down %.3f s, bottom-up %.3f s, ratio %.3f\n",
                    alternate ? "every other" : "all", rows, topDown, bottomUp, bottomUp / topDown);
    }
    return 0;
}
