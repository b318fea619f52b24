#include "engine/WriteBlock.h"

WriteBlock DecideWriteBlock(const fsys::WriteFacts& f, bool ignoreProtect) {
    if (!f.known) return WriteBlock::kNone;
    if (f.readOnlyMount) return WriteBlock::kReadOnlyMount;
    if (f.immutable) return WriteBlock::kImmutable;
    if (f.appendOnly) return WriteBlock::kAppendOnly;
    // With the rule, the run sets the owner's write bit where it may; that is
    // all it changes, so a file it cannot write with that bit stays blocked.
    const bool fixable = ignoreProtect && f.owned && !f.ownWrite;
    if (f.noWriteBits && !(ignoreProtect && f.owned)) return WriteBlock::kNoPermission;
    if (!f.noWriteBits && !f.mayWrite && !fixable) return WriteBlock::kNoPermission;
    const bool folderFixable = ignoreProtect && f.folderOwned && !f.folderOwnWrite;
    if (!f.folderMayWrite && !folderFixable) return WriteBlock::kFolderNoPermission;
    return WriteBlock::kNone;
}

std::string_view WriteBlockName(WriteBlock block) {
    switch (block) {
        case WriteBlock::kReadOnlyMount:
            return "read-only-mount";
        case WriteBlock::kImmutable:
            return "immutable";
        case WriteBlock::kAppendOnly:
            return "append-only";
        case WriteBlock::kNoPermission:
            return "no-permission";
        case WriteBlock::kFolderNoPermission:
            return "folder-no-permission";
        case WriteBlock::kNone:
            break;
    }
    return "";
}

std::string_view WriteBlockTextKey(WriteBlock block) {
    switch (block) {
        case WriteBlock::kReadOnlyMount:
            return "FrmMain.m_acMWriteBlockReadOnly";
        case WriteBlock::kImmutable:
            return "FrmMain.m_acMWriteBlockImmutable";
        case WriteBlock::kAppendOnly:
            return "FrmMain.m_acMWriteBlockAppendOnly";
        case WriteBlock::kNoPermission:
            return "FrmMain.m_acMWriteBlockPermission";
        case WriteBlock::kFolderNoPermission:
            return "FrmMain.m_acMWriteBlockFolder";
        case WriteBlock::kNone:
            break;
    }
    return "";
}
