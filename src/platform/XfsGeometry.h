#pragma once
// The geometry of an xfs file system, from the kernel's xfs header (not
// installed here): the first form of XFS_IOC_FSGEOMETRY, which every xfs
// answers. Only its head is read.
#include <sys/ioctl.h>

#include <cstdint>

struct XfsGeometryV1 {
    uint32_t blocksize, rtextsize, agblocks, agcount, logblocks, sectsize, inodesize, imaxpct;
    uint64_t datablocks, rtblocks, rtextents, logstart;
    unsigned char uuid[16];
    uint32_t sunit, swidth;
    int32_t version;
    uint32_t flags, logsectsize, rtsectsize, dirblocksize;
};
static_assert(sizeof(XfsGeometryV1) == 112);

// False where `fd` is on no xfs (or the call fails).
inline bool ReadXfsGeometry(int fd, XfsGeometryV1& g) {
    constexpr unsigned long kXfsIocFsGeometryV1 = _IOR('X', 100, XfsGeometryV1);
    g = XfsGeometryV1{};
    return ::ioctl(fd, kXfsIocFsGeometryV1, &g) == 0;
}
