#include "SocketCanAdapter.h"

#include <cerrno>
#include <cstring>

#include <linux/can.h>
#include <linux/can/netlink.h>
#include <linux/can/raw.h>
#include <net/if.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "CanLink.h"

namespace {
// Frames taken from the socket per system call; a saturated 1 Mbit/s bus brings about 8 per ms.
constexpr unsigned kBatch = 64;
// Room for about 2700 frames, a third of a second of a saturated bus, for a host that is
// briefly busy elsewhere. The kernel doubles the value and may cap it (net.core.rmem_max).
constexpr int kReceiveBufferBytes = 1 << 20;
// No bus power switch is reachable through SocketCAN.
constexpr int kBusPowerUnsupported = -2;
}  // namespace

SocketCanAdapter::SocketCanAdapter(const std::string& name, const AdapterCallbacks& callbacks,
                                   const std::string& interfaceName)
    : Adapter(name, callbacks), interface_(interfaceName)
{
}

SocketCanAdapter::~SocketCanAdapter()
{
    if (socket_ >= 0)
        ::close(socket_);
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
}

int SocketCanAdapter::baudOfBitrate(uint32_t bitrate)
{
    switch (bitrate) {
    case 125000:
        return CAN_BAUD_125K;
    case 250000:
        return CAN_BAUD_250K;
    case 500000:
        return CAN_BAUD_500K;
    case 1000000:
        return CAN_BAUD_1M;
    default:
        return CAN_BAUD_NONE;
    }
}

bool SocketCanAdapter::open()
{
    if (interface_.empty() || interface_.size() >= IFNAMSIZ)
        return false;
    socket_ = ::socket(PF_CAN, SOCK_RAW | SOCK_CLOEXEC, CAN_RAW);
    if (socket_ < 0)
        return false;
    struct ifreq ifr;
    std::memset(&ifr, 0, sizeof ifr);
    std::strncpy(ifr.ifr_name, interface_.c_str(), IFNAMSIZ - 1);
    if (::ioctl(socket_, SIOCGIFINDEX, &ifr) < 0)
        return false;
    ifindex_ = ifr.ifr_ifindex;
    const int on = 1;
    ::setsockopt(socket_, SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof on);
    const int bytes = kReceiveBufferBytes;
    if (::setsockopt(socket_, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) < 0)
        ::setsockopt(socket_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    struct sockaddr_can addr;
    std::memset(&addr, 0, sizeof addr);
    addr.can_family = AF_CAN;
    addr.can_ifindex = ifindex_;
    if (::bind(socket_, reinterpret_cast<struct sockaddr*>(&addr), sizeof addr) < 0)
        return false;
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return wakeFd_ >= 0;
}

void SocketCanAdapter::receiveLoop()
{
    struct pollfd fds[2];
    fds[0].fd = socket_;
    fds[0].events = POLLIN;
    fds[1].fd = wakeFd_;
    fds[1].events = POLLIN;

    struct can_frame frames[kBatch];
    struct iovec iov[kBatch];
    struct mmsghdr msgs[kBatch];
    alignas(struct cmsghdr) char control[kBatch][CMSG_SPACE(sizeof(uint32_t))];
    std::memset(msgs, 0, sizeof msgs);
    for (unsigned i = 0; i < kBatch; ++i) {
        iov[i].iov_base = &frames[i];
        iov[i].iov_len = sizeof frames[i];
        msgs[i].msg_hdr.msg_iov = &iov[i];
        msgs[i].msg_hdr.msg_iovlen = 1;
        msgs[i].msg_hdr.msg_control = control[i];
    }

    while (!stopping()) {
        fds[0].revents = fds[1].revents = 0;
        const int n = ::poll(fds, 2, 500);
        if (n < 0 && errno != EINTR) {
            failed_ = true;
            return;
        }
        if (stopping() || (fds[1].revents & POLLIN))
            return;
        if (!(fds[0].revents & (POLLIN | POLLERR)))
            continue;
        for (unsigned i = 0; i < kBatch; ++i)
            msgs[i].msg_hdr.msg_controllen = sizeof control[i];
        const int got = ::recvmmsg(socket_, msgs, kBatch, MSG_DONTWAIT, nullptr);
        if (got < 0) {
            if (errno != EINTR && errno != EAGAIN) {
                // The interface went down (ENETDOWN) or away (ENODEV). The socket stays bound, so
                // frames of an interface that comes back up are served again; the status reports
                // tell the plug-in meanwhile. Do not spin on a dead socket.
                failed_ = true;
                if (waitForStop(std::chrono::milliseconds(100)))
                    return;
            }
            continue;
        }
        failed_ = false;
        for (int i = 0; i < got; ++i) {
            for (struct cmsghdr* c = CMSG_FIRSTHDR(&msgs[i].msg_hdr); c; c = CMSG_NXTHDR(&msgs[i].msg_hdr, c)) {
                if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_RXQ_OVFL) {
                    uint32_t drops;
                    std::memcpy(&drops, CMSG_DATA(c), sizeof drops);
                    countDropped(drops - kernelDrops_);  // the kernel's counter wraps like ours
                    kernelDrops_ = drops;
                }
            }
            const struct can_frame& cf = frames[i];
            if (msgs[i].msg_len != sizeof cf || (cf.can_id & CAN_ERR_FLAG))
                continue;
            _TGENERIC_CAN_FRAME f{};
            f.header.ext = (cf.can_id & CAN_EFF_FLAG) ? 1 : 0;
            f.header.rtr = (cf.can_id & CAN_RTR_FLAG) ? 1 : 0;
            f.header.id = f.header.ext ? (cf.can_id & CAN_EFF_MASK) : (cf.can_id & CAN_SFF_MASK);
            f.header.dlc = cf.can_dlc > 8 ? 8 : cf.can_dlc;
            if (!f.header.rtr)
                std::memcpy(f.data, cf.data, f.header.dlc);
            deliver(f);
        }
    }
}

void SocketCanAdapter::wakeReceiver()
{
    if (wakeFd_ >= 0) {
        const uint64_t one = 1;
        ssize_t ignored = ::write(wakeFd_, &one, sizeof one);
        (void)ignored;
    }
}

int SocketCanAdapter::send(const _TGENERIC_CAN_FRAME& frame)
{
    struct can_frame cf;
    std::memset(&cf, 0, sizeof cf);
    cf.can_id = frame.header.ext ? ((frame.header.id & CAN_EFF_MASK) | CAN_EFF_FLAG) : (frame.header.id & CAN_SFF_MASK);
    if (frame.header.rtr)
        cf.can_id |= CAN_RTR_FLAG;
    cf.can_dlc = static_cast<__u8>(frame.header.dlc);
    if (!frame.header.rtr)
        std::memcpy(cf.data, frame.data, frame.header.dlc);
    if (::write(socket_, &cf, sizeof cf) != static_cast<ssize_t>(sizeof cf)) {
        countSendFailed();
        return 0;
    }
    confirmSent(frame);
    return 1;
}

int SocketCanAdapter::getBaud()
{
    CanLink::State link;
    if (CanLink::query(ifindex_, link) && link.bitrate > 0)
        return baudOfBitrate(link.bitrate);
    return Adapter::getBaud();  // no rate on this interface (vcan): any rate is right
}

int SocketCanAdapter::getMode()
{
    CanLink::State link;
    if (CanLink::query(ifindex_, link)) {
        if (link.listenOnly)
            return CAN_MODE_LISTEN_ONLY;
        if (link.loopback)
            return CAN_MODE_LOOPBACK;
    }
    return Adapter::getMode();
}

int SocketCanAdapter::getTermination()
{
    CanLink::State link;
    if (CanLink::query(ifindex_, link) && link.terminationOhm >= 0)
        return link.terminationOhm > 0 ? 1 : 0;
    return Adapter::getTermination();
}

int SocketCanAdapter::getBusPower()
{
    return kBusPowerUnsupported;
}

int SocketCanAdapter::statusBusState()
{
    CanLink::State link;
    if (!CanLink::query(ifindex_, link))
        return failed_ ? CAN_BUS_HW_FAILURE : CAN_BUS_ON;
    if (!link.exists || !link.up)
        return CAN_BUS_HW_FAILURE;
    switch (link.canState) {
    case CAN_STATE_ERROR_WARNING:
        return CAN_BUS_ERR_ACTIVE;
    case CAN_STATE_ERROR_PASSIVE:
        return CAN_BUS_ERR_PASSIVE;
    case CAN_STATE_BUS_OFF:
        return CAN_BUS_OFF;
    case CAN_STATE_STOPPED:
        return CAN_BUS_HW_FAILURE;
    default:
        return CAN_BUS_ON;  // error active, sleeping, or no controller state (vcan)
    }
}
