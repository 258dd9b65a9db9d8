#pragma once

// A Linux CAN interface (SocketCAN, e.g. vcan0 or can0) behind a raw CAN socket. The receive
// thread reads the socket in batches; send writes to it. Bit rate, mode and termination are
// configured on the interface with `ip link` outside this library: where the kernel tells them
// (CAN controllers), they are reported as the kernel has them; otherwise (vcan) as they were set.
// The bus state comes from the kernel at every status report: "HW Failure" while the interface is
// down or gone, else the controller's state ("Bus On" for an interface without one).
// Frames the kernel dropped because the socket's queue was full count as received frames lost.

#include <atomic>
#include <cstdint>

#include "Adapter.h"

class SocketCanAdapter : public Adapter {
public:
    SocketCanAdapter(const std::string& name, const AdapterCallbacks& callbacks, const std::string& interfaceName);
    ~SocketCanAdapter() override;

    int send(const _TGENERIC_CAN_FRAME& frame) override;
    int getBaud() override;
    int getMode() override;
    int getTermination() override;
    int getBusPower() override;

    // The table's rate for a bit rate in bit/s; CAN_BAUD_NONE for a rate the table lacks.
    static int baudOfBitrate(uint32_t bitrate);

protected:
    bool open() override;
    void receiveLoop() override;
    void wakeReceiver() override;
    int statusBusState() override;

private:
    std::string interface_;
    int ifindex_ = 0;
    int socket_ = -1;
    int wakeFd_ = -1;  // eventfd that ends the receive thread's poll
    std::atomic<bool> failed_{false};  // the last read failed; used when the kernel cannot be asked
    uint32_t kernelDrops_ = 0;         // the socket's drop counter as last seen (receive thread)
};
