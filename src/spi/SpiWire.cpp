#include "spi/SpiWire.h"

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// A few descriptors at most travel with one frame.
constexpr size_t kMaxFds = 4;
} // namespace

SpiFrame::~SpiFrame()
{
    Reset();
}

int SpiFrame::TakeFd(size_t index)
{
    if (index >= Fds.size())
        return -1;
    const int fd = Fds[index];
    Fds[index] = -1;
    return fd;
}

void SpiFrame::Reset()
{
    for (int fd : Fds)
        if (fd >= 0)
            ::close(fd);
    Fds.clear();
    Body.clear();
    Type = 0;
}

bool MakeSpiSocketPair(int ends[2])
{
    return ::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) == 0;
}

bool SendFrame(int socket, uint32_t type, std::string_view body, const std::vector<int> &fds)
{
    if (body.size() > kMaxFrameBody || fds.size() > kMaxFds)
        return false;
    iovec iov[2] = {{&type, sizeof type}, {const_cast<char *>(body.data()), body.size()}};
    msghdr msg{};
    msg.msg_iov = iov;
    msg.msg_iovlen = body.empty() ? 1 : 2;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kMaxFds)] = {};
    if (!fds.empty()) {
        msg.msg_control = control;
        msg.msg_controllen = CMSG_SPACE(sizeof(int) * fds.size());
        cmsghdr *c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(sizeof(int) * fds.size());
        std::memcpy(CMSG_DATA(c), fds.data(), sizeof(int) * fds.size());
    }
    for (;;) {
        const ssize_t sent = ::sendmsg(socket, &msg, MSG_NOSIGNAL);
        if (sent >= 0)
            return size_t(sent) == sizeof type + body.size();
        if (errno != EINTR)
            return false;
    }
}

ReceiveResult ReceiveFrame(int socket, SpiFrame &frame, int timeoutMs)
{
    frame.Reset();
    pollfd p{socket, POLLIN, 0};
    for (;;) {
        const int ready = ::poll(&p, 1, timeoutMs);
        if (ready > 0)
            break;
        if (ready == 0)
            return ReceiveResult::TimedOut;
        if (errno != EINTR)
            return ReceiveResult::Closed;
    }
    static thread_local std::string buffer;
    buffer.resize(sizeof(uint32_t) + kMaxFrameBody);
    iovec iov{buffer.data(), buffer.size()};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kMaxFds)] = {};
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    ssize_t got;
    do
        got = ::recvmsg(socket, &msg, MSG_CMSG_CLOEXEC);
    while (got < 0 && errno == EINTR);
    for (cmsghdr *c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS)
            continue;
        const size_t n = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (size_t i = 0; i < n; ++i) {
            int fd;
            std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof fd);
            frame.Fds.push_back(fd);
        }
    }
    if (got < ssize_t(sizeof(uint32_t)) || (msg.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) != 0) {
        frame.Reset();
        return ReceiveResult::Closed;
    }
    std::memcpy(&frame.Type, buffer.data(), sizeof frame.Type);
    frame.Body.assign(buffer.data() + sizeof(uint32_t), size_t(got) - sizeof(uint32_t));
    return ReceiveResult::Frame;
}
