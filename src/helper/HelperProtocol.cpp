#include "helper/HelperProtocol.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace helper {

const char* OperationWord(Operation op) {
    switch (op) {
        case Operation::FillReserve:
            return "fill-reserve";
        case Operation::ClearJournal:
            return "clear-journal";
        case Operation::Stop:
        case Operation::TrimFilled:
            break;
    }
    return nullptr;
}

bool OperationFromWord(const char* word, Operation& op) {
    if (!word) return false;
    for (Operation o : {Operation::FillReserve, Operation::ClearJournal}) {
        if (std::strcmp(word, OperationWord(o)) == 0) {
            op = o;
            return true;
        }
    }
    return false;
}

const char* RefusalText(Refusal r) {
    switch (r) {
        case Refusal::None:
            return "";
        case Refusal::BadMessage:
            return "malformed request";
        case Refusal::WrongOperation:
            return "operation not allowed in this session";
        case Refusal::NotAFolder:
            return "the folder is no folder";
        case Refusal::NotARegularFile:
            return "not a regular file";
        case Refusal::NotOwned:
            return "not owned by the caller";
        case Refusal::OtherLinks:
            return "the file has other names";
        case Refusal::OtherDevice:
            return "the file is on another file system";
        case Refusal::NotWritable:
            return "the file is not open for writing";
        case Refusal::NotEmpty:
            return "the file is not empty";
        case Refusal::NotExt4:
            return "not an ext2/3/4 file system";
        case Refusal::NotSupported:
            return "the kernel does not support it";
        case Refusal::NotFilled:
            return "this session did not fill that file system";
    }
    return "unknown";
}

bool SendMessage(int sock, const void* data, size_t size, const int* fds, int fdCount) {
    if (fdCount < 0 || fdCount > 2) return false;
    iovec iov{const_cast<void*>(data), size};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(2 * sizeof(int))] = {};
    if (fdCount > 0) {
        msg.msg_control = control;
        msg.msg_controllen = CMSG_SPACE(static_cast<size_t>(fdCount) * sizeof(int));
        cmsghdr* c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(static_cast<size_t>(fdCount) * sizeof(int));
        std::memcpy(CMSG_DATA(c), fds, static_cast<size_t>(fdCount) * sizeof(int));
    }
    ssize_t n;
    do n = ::sendmsg(sock, &msg, MSG_NOSIGNAL);
    while (n < 0 && errno == EINTR);
    return n == static_cast<ssize_t>(size);
}

void CloseAll(std::vector<int>& fds) {
    for (int fd : fds) ::close(fd);
    fds.clear();
}

long ReceiveMessage(int sock, void* data, size_t size, std::vector<int>& fds) {
    fds.clear();
    // One byte more than expected shows a longer message as such (MSG_TRUNC
    // would too, but this keeps the check in one place).
    std::vector<char> buffer(size + 1);
    iovec iov{buffer.data(), buffer.size()};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    // Room for more descriptors than any request has, so that extra ones arrive
    // (and are closed) instead of being silently cut off.
    alignas(cmsghdr) char control[CMSG_SPACE(8 * sizeof(int))] = {};
    msg.msg_control = control;
    msg.msg_controllen = sizeof(control);
    ssize_t n;
    do n = ::recvmsg(sock, &msg, MSG_CMSG_CLOEXEC);
    while (n < 0 && errno == EINTR);
    if (n < 0) return -errno;
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
        const size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (size_t i = 0; i < count; ++i) {
            int fd;
            std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof(int));
            fds.push_back(fd);
        }
    }
    if (n == 0 && fds.empty()) return 0;
    if ((msg.msg_flags & (MSG_CTRUNC | MSG_TRUNC)) || static_cast<size_t>(n) != size) {
        CloseAll(fds);
        return -EBADMSG;
    }
    std::memcpy(data, buffer.data(), size);
    return n;
}

}  // namespace helper
