// The small file operations of FileOps (the walker lives in FileOpsWalk.cpp,
// ShredFile in ShredFile.cpp).
#include "engine/FileOps.h"

#include "platform/FileSystem.h"
#include "platform/Platform.h"

namespace {

// On this platform "\" is an ordinary name character, so renaming and folder
// removal split paths at "/" only: a name such as "a\b.txt" is one name.
constexpr char16_t kSeparator = u'/';

}  // namespace

bool FileOps::IsFile(const std::u16string& path) {
    fsys::Attributes attr;
    return fsys::GetAttributes(path, attr) && attr.kind != fsys::Kind::kFolder;
}

bool FileOps::IsFolder(const std::u16string& path) {
    fsys::Attributes attr;
    return fsys::GetAttributes(path, attr) && attr.kind == fsys::Kind::kFolder;
}

bool FileOps::RemoveFile(const std::u16string& path) {
    return fsys::RemoveFile(path);
}

bool FileOps::RenameFile(const std::u16string& oldPath, const std::u16string& newPath) {
    // Renaming to the very same name leaves the file as it is and succeeds; with
    // zeros, every renaming after the first does exactly that.
    if (oldPath == newPath) {
        fsys::Attributes attr;
        return fsys::GetAttributes(oldPath, attr);
    }
    return fsys::RenameNoReplace(oldPath, newPath);
}

bool FileOps::MakeWritable(const std::u16string& path) {
    fsys::Attributes attr;
    if (!fsys::GetAttributes(path, attr) || attr.kind == fsys::Kind::kLink) return false;
    if ((attr.mode & 0200) != 0) return true;
    return fsys::SetPermissions(path, attr.mode | 0200);
}

bool FileOps::ShredName(std::u16string& path, bool randomDigits, int32_t count) {
    const size_t cut = path.rfind(kSeparator);
    const std::u16string folder = cut == std::u16string::npos ? u"" : path.substr(0, cut + 1);
    const size_t length = path.size() - folder.size();
    if (length == 0) return false;  // a folder path names no file

    SeedThreadRandom(static_cast<uint32_t>(Platform().now()));
    std::u16string current = path;
    for (int32_t round = 0; round < count; ++round) {
        std::u16string name(length, u'0');
        if (randomDigits) {
            for (auto& c : name) c = static_cast<char16_t>(u'0' + ThreadRandom() % 9);
        }
        std::u16string next = folder + name;
        if (!RenameFile(current, next)) {
            path = current;
            return false;
        }
        current = std::move(next);
    }
    path = current;
    return true;
}

bool FileOps::RemoveFolderChain(const std::u16string& folder) {
    bool result = true;
    // Position 0 is never looked at, so "/" itself is never a candidate; the
    // climb also ends at the first mount point, the root of its file system.
    for (size_t i = folder.size(); i-- > 1;) {
        if (folder[i] != kSeparator || folder[i - 1] == kSeparator) continue;
        const std::u16string candidate = folder.substr(0, i);
        if (fsys::IsMountPoint(candidate)) break;
        if (!fsys::RemoveFolder(candidate)) result = false;
    }
    return result;
}
