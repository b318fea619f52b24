#include "runs/FillOutcomeText.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <iterator>

#include "config/TextConv.h"
#include "i18n/SafeFormat.h"
#include "platform/FileSystem.h"
#include "platform/MountInfo.h"
#include "platform/Volumes.h"

namespace {

std::u16string ErrnoText(int err) {
    return WideFromUtf8(std::strerror(err));
}

std::u16string Reason(const FillOutcome& o) {
    switch (o.failure) {
        case FillFailure::None:
            break;
        case FillFailure::NoMemory:
            return u"no memory for the fill block";
        case FillFailure::NotFound:
            return u"not found";
        case FillFailure::NotAFolder:
            return u"not a folder";
        case FillFailure::CannotOpen:
            return u"cannot open: " + ErrnoText(o.error);
        case FillFailure::ReadOnly:
            return u"read-only";
        case FillFailure::NoSpaceInfo:
            return u"free space unknown: " + ErrnoText(o.error);
        case FillFailure::CannotCreate:
            return u"cannot create files: " + ErrnoText(o.error);
        case FillFailure::WriteError:
            return u"write error: " + ErrnoText(o.error);
        case FillFailure::NothingWritten:
            return u"drive full: no free space could be written";
        case FillFailure::Stopped:
            return u"stopped";
        case FillFailure::DriveGone:
            return u"the drive went away";
    }
    return {};
}

}  // namespace

std::u16string FillOutcomeLine(const std::u16string& root, const FillOutcome& o) {
    const std::u16string bytes = WideFromUtf8(std::to_string(o.written));
    std::u16string line =
        o.Ok() ? SafeFormat(std::u16string_view(u"%s [done] %s bytes written"), {root, bytes})
               : SafeFormat(std::u16string_view(u"%s [FAILED!] %s"), {root, Reason(o)});
    if (!o.Ok() && o.started)
        line += SafeFormat(std::u16string_view(u", %s bytes written"), {bytes});
    // What the run knew to be free and could not write is named with its size.
    if (o.reserveNotReached > 0)
        line += SafeFormat(std::u16string_view(u", not reached: %s bytes kept back for root"),
                           {WideFromUtf8(std::to_string(o.reserveNotReached))});
    if (o.keptBack.bytes > 0)
        line += SafeFormat(
            std::u16string_view(u", not reached: %s bytes the file system keeps for itself (%s)"),
            {WideFromUtf8(std::to_string(o.keptBack.bytes)), WideFromUtf8(o.keptBack.what)});
    if (o.leftUnwritten > 0)
        line += SafeFormat(std::u16string_view(u", not reached: %s bytes still free"),
                           {WideFromUtf8(std::to_string(o.leftUnwritten))});
    if (o.filesLeft > 0)
        line += SafeFormat(std::u16string_view(u" (%u temporary files could not be deleted)"),
                           {o.filesLeft});
    return line;
}

std::u16string ByteAmountText(uint64_t bytes) {
    const char* units[] = {"bytes", "KB", "MB", "GB", "TB", "PB"};
    double value = static_cast<double>(bytes);
    size_t unit = 0;
    while (value >= 1000.0 && unit + 1 < std::size(units)) {
        value /= 1000.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 || value >= 100 ? "%.0f %s" : "%.1f %s", value,
                  units[unit]);
    return WideFromUtf8(text);
}

namespace {
constexpr std::u16string_view kFolderOn = u" is a folder on ";
}  // namespace

bool IsDriveOfFolderLine(std::u16string_view line, const std::u16string& root) {
    const std::u16string shown = PrintableText(root);
    return line.size() > shown.size() + kFolderOn.size() && line.substr(0, shown.size()) == shown &&
           line.substr(shown.size(), kFolderOn.size()) == kFolderOn;
}

std::u16string DriveOfFolderLine(const std::u16string& root) {
    std::string os;
    struct stat st {};
    if (!fsys::OsPath(root, os) || ::stat(os.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
        fsys::IsMountPoint(root))
        return {};
    const std::vector<MountInfoEntry> table = ReadMountInfo();
    const MountInfoEntry* mount = VisibleMountOf(table, st.st_dev);
    if (!mount) return {};
    std::string device = mount->fsType;
    for (const MountEntry& m : ReadMountTable())
        if (m.mountPoint == mount->mountPoint) device = m.source;
    const DriveSpace space = QueryDriveSpace(root);
    const std::u16string mountPoint =
        WideFromUtf8(mount->mountPoint == "/" ? "/" : mount->mountPoint + "/");
    return SafeFormat(
        std::u16string_view(u"%s is a folder on %s mounted at %s (%s free): the free space of "
                            u"that whole drive is filled"),
        {PrintableText(root), PrintableText(WideFromUtf8(device)), PrintableText(mountPoint),
         space.ok ? ByteAmountText(space.freeToCaller) : std::u16string(u"free space unknown")});
}
