// The KSIM server: serves a SimDevice to clients over stream sockets, one
// connection per open device handle, one thread per connection (the
// protocol is described in platform/ksim_protocol.h).
//
// Besides the device name "QlxUsb-0", a client may open CONTROL_NAME: a
// handle that exists even while the device is off the bus and accepts only
// CTL_SIM_COMMAND (so a tool can replug an unplugged device).
//
// Started with KESTREL_SIM_USB=1 the server is in USB mode: it also serves
// the device's USB face (ksim_server_usb.h), which a product with
// KESTREL_SIM_USB=1 uses instead of the driver handles.
//
// A connection that breaks the protocol (bad magic or version, a name or a
// transfer over the limits) is closed. A connection that ends, whatever the
// reason, ends the transfers it left waiting in the device. A failing
// accept (out of file descriptors) does not end the service: the server
// pauses, longer while the failures go on, and accepts again.
#pragma once

#include "platform/socket.h"
#include "platform/thread.h"
#include "sim/sim_device.h"

#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>

namespace kestrel::sim {

inline constexpr const char* CONTROL_NAME = "KestrelSim";

struct KsimRequest;
class UsbFaceService;

class KsimServer {
public:
    // Starts accepting on `listener` at once.
    KsimServer(std::shared_ptr<SimDevice> device, std::unique_ptr<platform::Listener> listener);
    // close().
    ~KsimServer();
    KsimServer(const KsimServer&) = delete;
    KsimServer& operator=(const KsimServer&) = delete;

    platform::Endpoint endpoint() const { return listener_->boundEndpoint(); }

    // Stops listening, ends every connection (a request blocked in the
    // device ends too) and joins all threads.
    void close();

private:
    struct Session;

    void acceptLoop();
    void serve(Session& session);
    void serveRequests(Session& session);
    // Carries out one request and sends the reply; false when it cannot be sent.
    bool answer(Session& session, KsimRequest& request);
    void reapFinished();

    std::shared_ptr<SimDevice> device_;
    std::unique_ptr<platform::Listener> listener_;
    std::shared_ptr<UsbFaceService> usbFace_;  // USB mode only
    std::mutex mutex_;
    std::list<std::unique_ptr<Session>> sessions_;
    std::condition_variable closed_;  // signalled when closing_ is set
    bool closing_ = false;
    platform::Thread acceptor_;
};

}  // namespace kestrel::sim
