#pragma once
// Shared set-up of the file-run tests: a temporary tree whose root always keeps
// one file (so emptied folders never take the test folder itself away), an
// in-memory window, a fixed calendar clock and a shutdown that only counts.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "config/TextConv.h"
#include "engine/ShredCheck.h"
#include "i18n/SafeFormat.h"
#include "platform/MountInfo.h"
#include "platform/Platform.h"
#include "runs/FileRun.h"
#include "runs/FreeSpaceAfter.h"
#include "runs/RunState.h"
#include "runs/WorkerThreads.h"
#include "support/FakeRunWindow.h"
#include "support/TempDir.h"

// A window that lets a test act at the moment an entry's status line is shown,
// that is, after the confirmation and before the entry is worked on.
class HookedWindow : public FakeRunWindow {
  public:
    void SetStatusText(const std::u16string& text) override {
        FakeRunWindow::SetStatusText(text);
        if (onStatus) onStatus(text);
    }
    std::function<void(const std::u16string&)> onStatus;
};

// While it lives, the file at `path` is spoiled after its last pass, on its way
// to the device: the read-back check must find it.
class SpoilAfterLastPassOf {
  public:
    explicit SpoilAfterLastPassOf(const std::string& path) {
        ShredCheck::SetAfterLastPassHook([path](int fd) {
            char held[4096];
            const std::string self = "/proc/self/fd/" + std::to_string(fd);
            const ssize_t n = ::readlink(self.c_str(), held, sizeof held - 1);
            if (n <= 0 || std::string(held, static_cast<size_t>(n)) != path) return;
            const int rw = ::open(self.c_str(), O_RDWR | O_CLOEXEC);
            ASSERT_GE(rw, 0);
            ASSERT_EQ(::pwrite(rw, "\x01\x02", 2, 4096), 2);
            ::fdatasync(rw);
            ::close(rw);
        });
    }
    ~SpoilAfterLastPassOf() { ShredCheck::SetAfterLastPassHook(nullptr); }
    SpoilAfterLastPassOf(const SpoilAfterLastPassOf&) = delete;
    SpoilAfterLastPassOf& operator=(const SpoilAfterLastPassOf&) = delete;
};

class FileRunTest : public ::testing::Test {
  protected:
    FileRunTest()
        : platform_(PlatformServices{[](const std::u16string&) { return false; },
                                     [this] {
                                         ++shutdowns;
                                         return true;
                                     },
                                     [] { return int64_t{1'800'000'000}; }}) {
        dir.WriteFile("stay", "keeps the test folder");
        window.settings.confirm = 0;
        window.iterationsText = u"1";
    }

    // A file below the test folder; returns its full path.
    std::u16string File(const std::string& rel, const std::string& content = "secret") {
        dir.WriteFile(rel, content);
        return dir.WSub(rel);
    }
    void AddFile(const std::string& rel, const std::string& content = "secret") {
        window.AddRow(File(rel, content));
    }
    void AddFolderRow(const std::string& rel) { window.AddRow(dir.WSub(rel), u"FOLDER"); }
    bool Exists(const std::string& rel) const { return PathExists(dir.Sub(rel)); }

    // Starts the run as the "Shred files" button does and waits for its end.
    void Run() {
        WorkerThreads threads;
        StartFileRun(threads, window, state);
        threads.JoinAll();
    }
    std::u16string Done() const { return u"Shredding done. (00:00:00)"; }
    std::u16string Partly() const { return u"Shredding partly done. (00:00:00)"; }
    std::u16string Interrupted() const { return u"Shredding interrupted. (00:00:00)"; }
    static std::u16string Header(int passes) {
        return u"\r\nShredding files with " + WideFromUtf8(std::to_string(passes)) +
               u" iterations\r\n-------------------------------------------------\r\n";
    }

    // `lines`, then what a run that shredded files on the drive of `path` (the
    // test folder's by default) says last when no fill follows: that earlier
    // versions may remain in its free space. Nothing on a drive in memory.
    std::vector<std::u16string> WithEarlier(std::vector<std::u16string> lines,
                                            const std::string& path = "") {
        struct stat st {};
        if (::stat((path.empty() ? dir.Path() : path).c_str(), &st) != 0) return lines;
        TouchedDrives touched;
        touched.Add(st.st_dev);
        const ChosenFill drives = ChooseDrivesToFill(touched, ReadMountInfo());
        if (!drives.roots.empty())
            lines.push_back(
                SafeFormat(window.MessageText("FrmMain.m_acMEarlierVersions"), {drives.roots[0]}));
        return lines;
    }
    size_t EarlierLines() { return WithEarlier({}).size(); }
    // The last `n` lines of the log.
    std::vector<std::u16string> LastLog(size_t n) const {
        const auto& log = window.logLines;
        return {log.end() - static_cast<std::ptrdiff_t>(std::min(n, log.size())), log.end()};
    }

    int shutdowns = 0;
    TempDir dir;
    HookedWindow window;
    RunState state;

  private:
    ScopedPlatform platform_;
};
