#include "engine/StorageVerdict.h"

#include <linux/fiemap.h>

#include <algorithm>
#include <array>
#include <string>

namespace {

// statfs magic numbers, for when the mount table does not name the type.
struct Magic {
    int64_t magic;
    const char* name;
};
constexpr std::array<Magic, 22> kMagics{{
    {0xEF53, "ext4"},      {0x58465342, "xfs"},     {0x9123683E, "btrfs"},    {0x01021994, "tmpfs"},
    {0x858458f6, "ramfs"}, {0x2fc12fc1, "zfs"},     {0xca451a4e, "bcachefs"}, {0xF2F52010, "f2fs"},
    {0x3434, "nilfs2"},    {0x6969, "nfs"},         {0xFE534D42, "smb3"},     {0xFF534D42, "cifs"},
    {0x517B, "smbfs"},     {0x65735546, "fuse"},    {0x4d44, "vfat"},         {0x2011BAB0, "exfat"},
    {0x5346544e, "ntfs"},  {0x794c7630, "overlay"}, {0x01021997, "9p"},       {0x00c36400, "ceph"},
    {0x3153464a, "jfs"},   {0x4244, "hfs"},
}};

constexpr uint32_t kNoCowFlag = 0x00800000;        // FS_NOCOW_FL
constexpr uint32_t kCompressedFlag = 0x00000004;   // FS_COMPR_FL
constexpr uint32_t kJournalDataFlag = 0x00004000;  // FS_JOURNAL_DATA_FL

bool OneOf(const std::string& type, std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(), [&](const char* n) { return type == n; });
}

std::string TypeName(const std::string& fsType, int64_t fsMagic) {
    if (!fsType.empty()) return fsType;
    for (const Magic& m : kMagics)
        if (m.magic == fsMagic) return m.name;
    return {};
}

}  // namespace

uint32_t Verdict::ReasonMask() const {
    uint32_t mask = 0;
    for (VerdictReason r : reasons) mask |= 1u << static_cast<unsigned>(r);
    return mask;
}

namespace {

// What one file's own file system and extents say: the file itself, or an image
// file that a loop device stands on. Returns whether the file system needs a
// block device under it to be judged (false for network and FUSE ones).
bool JudgeFile(const std::string& type, int64_t magic, const std::string& mountOptions,
               bool haveInodeFlags, uint32_t inodeFlags, const storage::ExtentMap& extents,
               std::vector<VerdictReason>& why) {
    const bool fuse = type == "fuse" || type.rfind("fuse.", 0) == 0 || magic == 0x65735546;
    bool needsDevice = true;
    if (fuse || OneOf(type, {"nfs", "nfs4", "cifs", "smb3", "smbfs", "9p", "ceph", "glusterfs",
                             "afs", "davfs", "virtiofs", "lustre", "ocfs2"})) {
        why.push_back(VerdictReason::kNetwork);
        needsDevice = false;
    } else if (OneOf(type, {"btrfs", "zfs", "bcachefs", "f2fs", "nilfs2"})) {
        // A btrfs file marked NOCOW is rewritten in place, unless a snapshot shares
        // it (which the extent flags show).
        const bool noCow = type == "btrfs" && haveInodeFlags && (inodeFlags & kNoCowFlag);
        if (!noCow) why.push_back(VerdictReason::kCopyOnWrite);
    } else if (!OneOf(type, {"ext2", "ext3", "ext4", "xfs", "vfat", "msdos", "exfat", "ntfs",
                             "ntfs3", "jfs", "hfs", "hfsplus", "minix", "reiserfs"})) {
        why.push_back(VerdictReason::kUnknown);
    }

    const uint32_t ext = extents.known ? extents.allFlags : 0;
    if (ext & FIEMAP_EXTENT_SHARED) why.push_back(VerdictReason::kShared);
    if ((ext & FIEMAP_EXTENT_ENCODED) || (haveInodeFlags && (inodeFlags & kCompressedFlag)))
        why.push_back(VerdictReason::kCompressed);
    if (ext & (FIEMAP_EXTENT_DATA_INLINE | FIEMAP_EXTENT_NOT_ALIGNED))
        why.push_back(VerdictReason::kInline);
    if (storage::HasMountOption(mountOptions, "data=journal") ||
        (OneOf(type, {"ext3", "ext4"}) && haveInodeFlags && (inodeFlags & kJournalDataFlag)))
        why.push_back(VerdictReason::kDataJournal);
    // Extents still waiting for a place, or whose place the file system will not say.
    if (ext & (FIEMAP_EXTENT_UNKNOWN | FIEMAP_EXTENT_DELALLOC))
        why.push_back(VerdictReason::kUnknown);
    return needsDevice;
}

}  // namespace

Verdict DecideVerdict(const storage::StorageFacts& f) {
    Verdict v;
    std::vector<VerdictReason>& why = v.reasons;
    if (!f.known) {
        why.push_back(VerdictReason::kUnknown);
        return v;
    }
    const std::string type = TypeName(f.fsType, f.fsMagic);
    if (OneOf(type, {"tmpfs", "ramfs"})) {
        // Pages in memory are overwritten where they are (swap aside).
        v.memory = true;
        return v;
    }
    bool needsDevice =
        JudgeFile(type, f.fsMagic, f.mountOptions, f.haveInodeFlags, f.inodeFlags, f.extents, why);
    // A loop image's old copies stay wherever its own file system keeps them: an
    // image on btrfs is copied on write however the file system inside writes.
    for (const storage::BackingFileFacts& b : f.block.backingFiles) {
        const std::string backingType = TypeName(b.fsType, b.fsMagic);
        if (OneOf(backingType, {"tmpfs", "ramfs"})) continue;  // memory, noted below
        // Blocks the image is only now given (delayed allocation) were holes, not
        // old data; their place being open says nothing about old copies.
        storage::ExtentMap placed;
        placed.known = b.extents.known;
        for (const storage::Extent& e : b.extents.extents)
            if (!(e.flags & FIEMAP_EXTENT_DELALLOC)) placed.allFlags |= e.flags;
        if (!JudgeFile(backingType, b.fsMagic, b.mountOptions, b.haveInodeFlags, b.inodeFlags,
                       placed, why))
            needsDevice = false;
    }

    const storage::BlockFacts& b = f.block;
    v.encrypted = b.encrypted;
    v.memory = b.memory;
    if (b.known) {
        if (b.nonRotational && !b.memory) why.push_back(VerdictReason::kFlash);
        if (b.network) why.push_back(VerdictReason::kNetwork);
    } else if (needsDevice) {
        why.push_back(VerdictReason::kUnknown);
    }
    std::sort(why.begin(), why.end());
    why.erase(std::unique(why.begin(), why.end()), why.end());
    return v;
}

NamesKept DecideNames(const storage::StorageFacts& f, bool mayClearJournal) {
    if (!f.known) return NamesKept::kNone;
    const std::string type = TypeName(f.fsType, f.fsMagic);
    if (OneOf(type, {"btrfs", "zfs", "bcachefs", "f2fs", "nilfs2"})) return NamesKept::kCopyOnWrite;
    if (OneOf(type, {"xfs", "jfs", "reiserfs"})) return NamesKept::kJournal;
    if (OneOf(type, {"vfat", "msdos", "exfat"})) return NamesKept::kFolderEntries;
    // ext2 mounted by the ext4 driver has no journal, but says "ext2" only in the
    // mount table; without it, the magic number is shared by all three.
    if (type == "ext2") return NamesKept::kNone;
    if (OneOf(type, {"ext3", "ext4"}))
        return mayClearJournal ? NamesKept::kNone : NamesKept::kJournal;
    return NamesKept::kNone;
}

std::string_view ReasonTextKey(VerdictReason reason) {
    switch (reason) {
        case VerdictReason::kCopyOnWrite:
            return "FrmSummary.m_acMReasonCopyOnWrite";
        case VerdictReason::kShared:
            return "FrmSummary.m_acMReasonShared";
        case VerdictReason::kCompressed:
            return "FrmSummary.m_acMReasonCompressed";
        case VerdictReason::kInline:
            return "FrmSummary.m_acMReasonInline";
        case VerdictReason::kDataJournal:
            return "FrmSummary.m_acMReasonDataJournal";
        case VerdictReason::kFlash:
            return "FrmSummary.m_acMReasonFlash";
        case VerdictReason::kNetwork:
            return "FrmSummary.m_acMReasonNetwork";
        case VerdictReason::kUnknown:
            break;
    }
    return "FrmSummary.m_acMReasonUnknown";
}

std::string_view ReasonAdviceKey(VerdictReason reason) {
    switch (reason) {
        case VerdictReason::kCopyOnWrite:
            return "FrmSummary.m_acMAdviceCopyOnWrite";
        case VerdictReason::kShared:
            return "FrmSummary.m_acMAdviceShared";
        case VerdictReason::kCompressed:
            return "FrmSummary.m_acMAdviceCompressed";
        case VerdictReason::kInline:
            return "FrmSummary.m_acMAdviceInline";
        case VerdictReason::kDataJournal:
            return "FrmSummary.m_acMAdviceDataJournal";
        case VerdictReason::kFlash:
            return "FrmSummary.m_acMAdviceFlash";
        case VerdictReason::kNetwork:
            return "FrmSummary.m_acMAdviceNetwork";
        case VerdictReason::kUnknown:
            break;
    }
    return "FrmSummary.m_acMAdviceUnknown";
}
