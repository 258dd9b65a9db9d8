#pragma once

// A Linux CAN interface (SocketCAN, e.g. vcan0 or can0) behind a raw CAN socket. The receive
// thread reads the socket; send writes to it. Bit rate, mode, termination and bus power are
// configured on the interface outside this library, so they are only stored and reported back as
// set. The bus state reported is "Bus On" until the socket fails, then "HW Failure".

#include <atomic>

#include "Adapter.h"

class SocketCanAdapter : public Adapter {
public:
    SocketCanAdapter(const std::string& name, const AdapterCallbacks& callbacks, const std::string& interfaceName);
    ~SocketCanAdapter() override;

    int send(const _TGENERIC_CAN_FRAME& frame) override;

protected:
    bool open() override;
    void receiveLoop() override;
    void wakeReceiver() override;
    int statusBusState() override;

private:
    std::string interface_;
    int socket_ = -1;
    int wakeFd_ = -1;  // eventfd that ends the receive thread's poll
    std::atomic<bool> failed_{false};
};
