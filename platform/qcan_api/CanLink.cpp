#include "CanLink.h"

#include <cerrno>
#include <cstring>

#include <linux/can/netlink.h>
#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

// Walks the attributes of one nested block.
template <class F>
void forEachAttr(const struct rtattr* first, int len, F f)
{
    for (const struct rtattr* a = first; RTA_OK(a, len); a = RTA_NEXT(a, len))
        f(a);
}

void readCanData(const struct rtattr* data, CanLink::State& out)
{
    forEachAttr(static_cast<const struct rtattr*>(RTA_DATA(data)), static_cast<int>(RTA_PAYLOAD(data)),
                [&](const struct rtattr* a) {
                    const size_t n = RTA_PAYLOAD(a);
                    switch (a->rta_type) {
                    case IFLA_CAN_BITTIMING:
                        if (n >= sizeof(struct can_bittiming))
                            out.bitrate = static_cast<const struct can_bittiming*>(RTA_DATA(a))->bitrate;
                        break;
                    case IFLA_CAN_STATE:
                        if (n >= sizeof(uint32_t))
                            out.canState = static_cast<int>(*static_cast<const uint32_t*>(RTA_DATA(a)));
                        break;
#ifdef IFLA_CAN_TERMINATION
                    case IFLA_CAN_TERMINATION:
                        if (n >= sizeof(uint16_t))
                            out.terminationOhm = *static_cast<const uint16_t*>(RTA_DATA(a));
                        break;
#endif
                    case IFLA_CAN_CTRLMODE:
                        if (n >= sizeof(struct can_ctrlmode)) {
                            const uint32_t flags = static_cast<const struct can_ctrlmode*>(RTA_DATA(a))->flags;
                            out.listenOnly = (flags & CAN_CTRLMODE_LISTENONLY) != 0;
                            out.loopback = (flags & CAN_CTRLMODE_LOOPBACK) != 0;
                        }
                        break;
                    default:
                        break;
                    }
                });
}

void readLink(const struct nlmsghdr* h, CanLink::State& out)
{
    const struct ifinfomsg* ifi = static_cast<const struct ifinfomsg*>(NLMSG_DATA(h));
    out.exists = true;
    out.up = (ifi->ifi_flags & IFF_UP) != 0;
    forEachAttr(IFLA_RTA(ifi), static_cast<int>(IFLA_PAYLOAD(h)), [&](const struct rtattr* a) {
        if (a->rta_type != IFLA_LINKINFO)
            return;
        forEachAttr(static_cast<const struct rtattr*>(RTA_DATA(a)), static_cast<int>(RTA_PAYLOAD(a)),
                    [&](const struct rtattr* info) {
                        if (info->rta_type == IFLA_INFO_KIND)
                            out.kind.assign(static_cast<const char*>(RTA_DATA(info)),
                                            strnlen(static_cast<const char*>(RTA_DATA(info)), RTA_PAYLOAD(info)));
                        else if (info->rta_type == IFLA_INFO_DATA)
                            readCanData(info, out);
                    });
    });
}

}  // namespace

bool CanLink::query(int ifindex, State& out)
{
    out = State();
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0)
        return false;
    // The kernel answers at once; the timeout only guards against a netlink that never does.
    struct timeval tv = {1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);

    struct {
        struct nlmsghdr h;
        struct ifinfomsg ifi;
    } req;
    std::memset(&req, 0, sizeof req);
    req.h.nlmsg_len = NLMSG_LENGTH(sizeof(struct ifinfomsg));
    req.h.nlmsg_type = RTM_GETLINK;
    req.h.nlmsg_flags = NLM_F_REQUEST;
    req.h.nlmsg_seq = 1;
    req.ifi.ifi_family = AF_UNSPEC;
    req.ifi.ifi_index = ifindex;
    struct sockaddr_nl kernel;
    std::memset(&kernel, 0, sizeof kernel);
    kernel.nl_family = AF_NETLINK;
    if (::sendto(fd, &req, req.h.nlmsg_len, 0, reinterpret_cast<struct sockaddr*>(&kernel), sizeof kernel) < 0) {
        ::close(fd);
        return false;
    }

    alignas(struct nlmsghdr) char buf[16384];
    bool answered = false;
    bool done = false;
    while (!done) {
        const ssize_t got = ::recv(fd, buf, sizeof buf, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        int len = static_cast<int>(got);
        for (const struct nlmsghdr* h = reinterpret_cast<const struct nlmsghdr*>(buf); NLMSG_OK(h, len);
             h = NLMSG_NEXT(h, len)) {
            if (h->nlmsg_seq != 1)
                continue;
            if (h->nlmsg_type == NLMSG_ERROR) {
                // ENODEV: no interface has this index (any more).
                const struct nlmsgerr* e = static_cast<const struct nlmsgerr*>(NLMSG_DATA(h));
                answered = e->error == -ENODEV;
                done = true;
                break;
            }
            if (h->nlmsg_type == RTM_NEWLINK) {
                readLink(h, out);
                answered = done = true;
                break;
            }
        }
    }
    ::close(fd);
    return answered;
}
