#include "runs/FillOutcomeText.h"

#include <cstring>

#include "config/TextConv.h"
#include "i18n/SafeFormat.h"

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
