#include "runs/FreeSpaceProgress.h"

#include <algorithm>
#include <climits>

#include "i18n/SafeFormat.h"
#include "runs/RunWindow.h"

std::u16string FreeSpaceStatusText(const std::u16string& diskText, uint64_t written,
                                   uint64_t freeBytes, const std::u16string& path) {
    uint32_t w = static_cast<uint32_t>(written / 1048576);
    uint32_t f = static_cast<uint32_t>(freeBytes / 1048576);
    if (f == 0) {
        w = static_cast<uint32_t>(written / 1024);
        f = static_cast<uint32_t>(freeBytes / 1024);
        if (f == 0) f = 1024;
    }
    // 64-bit so that w * 100 cannot wrap on drives of many terabytes.
    const auto percent = static_cast<int>(static_cast<uint64_t>(w) * 100 / f);
    return SafeFormat(std::u16string_view(u"%s%s [%u / %u MB - %d %c]"),
                      {diskText, path, w, f, percent, u'%'});
}

FreeSpaceProgress::FreeSpaceProgress(RunWindow& window)
    : window_(window), diskText_(window.MessageText("FrmMain.m_acMShreddingDisk")) {}

FillNotifications FreeSpaceProgress::Notifications() {
    FillNotifications n;
    n.driveStarted = [this](uint64_t f) { DriveStarted(f); };
    n.tempFile = [this](const std::u16string& p) { TempFile(p); };
    n.progress = [this](uint64_t w, uint64_t f, const std::u16string& p) { Progress(w, f, p); };
    n.note = [this](const std::u16string& line) { window_.AppendLog(line); };
    return n;
}

int FreeSpaceProgress::BarUnits(uint64_t bytes) const {
    return static_cast<int>((bytes / 1024) >> barShift_);
}

void FreeSpaceProgress::DriveStarted(uint64_t freeBytes) {
    barShift_ = 0;
    while (((freeBytes / 1024) >> barShift_) > static_cast<uint64_t>(INT_MAX)) ++barShift_;
    window_.SetProgressRange(BarUnits(freeBytes));
}

void FreeSpaceProgress::TempFile(const std::u16string& path) {
    window_.AppendLog(SafeFormat(std::u16string_view(u"%s [Temporary file]"), {path}));
}

void FreeSpaceProgress::Progress(uint64_t written, uint64_t freeBytes, const std::u16string& path) {
    // The fill goes on past the measured free space when more became free.
    window_.SetProgressPos(BarUnits(std::min(written, freeBytes)));
    std::u16string text = FreeSpaceStatusText(diskText_, written, freeBytes, path);
    // Unchanged texts are not set again: it spares the window a repaint per block.
    if (window_.StatusText() != text) window_.SetStatusText(text);
}
