#include "SocketCanAdapter.h"

#include <cerrno>
#include <cstring>

#include <linux/can.h>
#include <linux/can/raw.h>
#include <net/if.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

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

bool SocketCanAdapter::open()
{
    if (interface_.size() >= IFNAMSIZ)
        return false;
    socket_ = ::socket(PF_CAN, SOCK_RAW | SOCK_CLOEXEC, CAN_RAW);
    if (socket_ < 0)
        return false;
    struct ifreq ifr;
    std::memset(&ifr, 0, sizeof ifr);
    std::strncpy(ifr.ifr_name, interface_.c_str(), IFNAMSIZ - 1);
    if (::ioctl(socket_, SIOCGIFINDEX, &ifr) < 0)
        return false;
    struct sockaddr_can addr;
    std::memset(&addr, 0, sizeof addr);
    addr.can_family = AF_CAN;
    addr.can_ifindex = ifr.ifr_ifindex;
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
        struct can_frame cf;
        const ssize_t got = ::read(socket_, &cf, sizeof cf);
        if (got != static_cast<ssize_t>(sizeof cf)) {
            if (got < 0 && errno != EINTR && errno != EAGAIN) {
                // The interface went down; keep polling so a returning interface is served again.
                failed_ = true;
                countDropped();
                if (waitForStop(std::chrono::milliseconds(100)))  // do not spin on a dead socket
                    return;
            }
            continue;
        }
        failed_ = false;
        if (cf.can_id & CAN_ERR_FLAG)
            continue;
        _TGENERIC_CAN_FRAME f{};
        f.header.ext = (cf.can_id & CAN_EFF_FLAG) ? 1 : 0;
        f.header.rtr = (cf.can_id & CAN_RTR_FLAG) ? 1 : 0;
        f.header.id = f.header.ext ? (cf.can_id & CAN_EFF_MASK) : (cf.can_id & CAN_SFF_MASK);
        f.header.dlc = cf.can_dlc > 8 ? 8 : cf.can_dlc;
        std::memcpy(f.data, cf.data, f.header.dlc);
        deliver(f);
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
    std::memcpy(cf.data, frame.data, frame.header.dlc);
    if (::write(socket_, &cf, sizeof cf) != static_cast<ssize_t>(sizeof cf)) {
        countSendFailed();
        return 0;
    }
    confirmSent(frame);
    return 1;
}

int SocketCanAdapter::statusBusState()
{
    return failed_ ? CAN_BUS_HW_FAILURE : CAN_BUS_ON;
}
