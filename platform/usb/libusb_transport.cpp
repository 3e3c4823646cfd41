#include "platform/usb/libusb_transport.h"

#include <libusb.h>

#include <atomic>
#include <filesystem>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

namespace kestrel::platform::usb {

namespace {

constexpr int INTERFACE = 0;
constexpr unsigned PRESENCE_TIMEOUT_MS = 1000;
constexpr long EVENT_ROUND_US = 100000;
constexpr const char* SYSFS_USB = "/sys/bus/usb";

// Linux shows its USB buses here; elsewhere the question does not arise.
bool usbSubsystemPresent() {
#ifdef __linux__
    std::error_code error;
    return std::filesystem::exists(SYSFS_USB, error);
#else
    return true;
#endif
}

UsbStatus statusOfError(int error) {
    switch (error) {
    case LIBUSB_SUCCESS: return UsbStatus::Ok;
    case LIBUSB_ERROR_NO_DEVICE: return UsbStatus::Gone;
    case LIBUSB_ERROR_PIPE: return UsbStatus::Stall;
    case LIBUSB_ERROR_TIMEOUT: return UsbStatus::Timeout;
    case LIBUSB_ERROR_ACCESS: return UsbStatus::Access;
    case LIBUSB_ERROR_BUSY: return UsbStatus::Busy;
    case LIBUSB_ERROR_NOT_FOUND: return UsbStatus::NotFound;
    default: return UsbStatus::Error;
    }
}

UsbStatus statusOfTransfer(libusb_transfer_status status) {
    switch (status) {
    case LIBUSB_TRANSFER_COMPLETED: return UsbStatus::Ok;
    case LIBUSB_TRANSFER_CANCELLED: return UsbStatus::Cancelled;
    case LIBUSB_TRANSFER_NO_DEVICE: return UsbStatus::Gone;
    case LIBUSB_TRANSFER_STALL: return UsbStatus::Stall;
    case LIBUSB_TRANSFER_TIMED_OUT: return UsbStatus::Timeout;
    default: return UsbStatus::Error;
    }
}

// The libusb context and the thread that completes its transfers.
class Context {
public:
    Context() {
        error_ = libusb_init(&context_);
        if (error_ != LIBUSB_SUCCESS) {
            context_ = nullptr;
            return;
        }
        thread_ = std::thread([this] {
            // A bounded wait: a stop that comes just before the thread
            // enters libusb is seen at the next round.
            while (running_) {
                timeval round{0, EVENT_ROUND_US};
                libusb_handle_events_timeout_completed(context_, &round, nullptr);
            }
        });
    }
    ~Context() {
        if (!context_) return;
        running_ = false;
        libusb_interrupt_event_handler(context_);
        thread_.join();
        libusb_exit(context_);
    }
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    libusb_context* get() const { return context_; }
    int error() const { return error_; }

private:
    libusb_context* context_ = nullptr;
    int error_ = LIBUSB_SUCCESS;
    std::atomic<bool> running_{true};
    std::thread thread_;
};

// Frees a device list on every path.
struct DeviceListOwner {
    libusb_device** devices = nullptr;
    ~DeviceListOwner() {
        if (devices) libusb_free_device_list(devices, 1);
    }
};

struct ConfigOwner {
    libusb_config_descriptor* config = nullptr;
    ~ConfigOwner() {
        if (config) libusb_free_config_descriptor(config);
    }
};

bool describe(libusb_device* device, DeviceIdentity& identity) {
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(device, &descriptor) != LIBUSB_SUCCESS) return false;
    identity.vendorId = descriptor.idVendor;
    identity.productId = descriptor.idProduct;
    identity.bus = libusb_get_bus_number(device);
    identity.address = libusb_get_device_address(device);
    ConfigOwner owner;
    if (libusb_get_active_config_descriptor(device, &owner.config) != LIBUSB_SUCCESS &&
        libusb_get_config_descriptor(device, 0, &owner.config) != LIBUSB_SUCCESS)
        return true;  // unconfigured: no interface to describe
    if (owner.config->bNumInterfaces < 1 || owner.config->interface[0].num_altsetting < 1) return true;
    const libusb_interface_descriptor& interface = owner.config->interface[0].altsetting[0];
    identity.interfaceClass = interface.bInterfaceClass;
    identity.interfaceSubClass = interface.bInterfaceSubClass;
    identity.interfaceProtocol = interface.bInterfaceProtocol;
    for (uint8_t i = 0; i < interface.bNumEndpoints; ++i) {
        const libusb_endpoint_descriptor& e = interface.endpoint[i];
        identity.endpoints.push_back({e.bEndpointAddress, static_cast<EndpointType>(e.bmAttributes & 3),
                                      e.wMaxPacketSize, e.bInterval});
    }
    return true;
}

class LibusbDevice final : public UsbDevice {
public:
    LibusbDevice(std::shared_ptr<Context> context, libusb_device_handle* handle, DeviceIdentity identity)
        : context_(std::move(context)), handle_(handle), identity_(std::move(identity)) {}

    ~LibusbDevice() override {
        {
            std::unique_lock lock(mutex_);
            for (libusb_transfer* t : pending_) libusb_cancel_transfer(t);
            idle_.wait(lock, [this] { return pending_.empty(); });
        }
        libusb_release_interface(handle_, INTERFACE);
        libusb_close(handle_);
    }

    const DeviceIdentity& identity() const override { return identity_; }

    UsbResult control(const ControlSetup& setup, uint8_t* data, uint16_t length, uint32_t timeoutMs) override {
        const int n = libusb_control_transfer(handle_, setup.requestType, setup.request, setup.value, setup.index,
                                              data, length, timeoutMs);
        if (n < 0) return fail(statusOfError(n));
        return {UsbStatus::Ok, static_cast<uint32_t>(n)};
    }

    void submitBulk(uint8_t endpoint, uint8_t* data, uint32_t length, BulkDone done) override {
        libusb_transfer* transfer = libusb_alloc_transfer(0);
        if (!transfer) return done({UsbStatus::Error, 0});
        auto* job = new Job{this, std::move(done)};
        libusb_fill_bulk_transfer(transfer, handle_, endpoint, data, static_cast<int>(length), &LibusbDevice::finished,
                                  job, 0);
        std::unique_lock lock(mutex_);
        const int error = libusb_submit_transfer(transfer);
        if (error != LIBUSB_SUCCESS) {
            lock.unlock();
            libusb_free_transfer(transfer);
            BulkDone callback = std::move(job->done);
            delete job;
            return callback(fail(statusOfError(error)));
        }
        pending_.insert(transfer);
    }

    void cancelBulk(uint8_t endpoint) override {
        std::lock_guard lock(mutex_);
        for (libusb_transfer* t : pending_)
            if (t->endpoint == endpoint) libusb_cancel_transfer(t);
    }

    UsbResult clearHalt(uint8_t endpoint) override {
        const int error = libusb_clear_halt(handle_, endpoint);
        return error == LIBUSB_SUCCESS ? UsbResult{UsbStatus::Ok, 0} : fail(statusOfError(error));
    }

    bool gone() const override { return gone_; }

    bool present() override {
        if (gone_) return false;
        uint8_t status[2];
        const int n = libusb_control_transfer(handle_, LIBUSB_ENDPOINT_IN, LIBUSB_REQUEST_GET_STATUS, 0, 0, status,
                                              sizeof status, PRESENCE_TIMEOUT_MS);
        if (n == LIBUSB_ERROR_NO_DEVICE) gone_ = true;
        return !gone_;
    }

private:
    struct Job {
        LibusbDevice* device;
        BulkDone done;
    };

    UsbResult fail(UsbStatus status) {
        if (status == UsbStatus::Gone) gone_ = true;
        return {status, 0};
    }

    // On the event thread.
    static void LIBUSB_CALL finished(libusb_transfer* transfer) {
        auto* job = static_cast<Job*>(transfer->user_data);
        LibusbDevice* self = job->device;
        const UsbStatus status = statusOfTransfer(transfer->status);
        const UsbResult result = status == UsbStatus::Ok
                                     ? UsbResult{UsbStatus::Ok, static_cast<uint32_t>(transfer->actual_length)}
                                     : self->fail(status);
        BulkDone done = std::move(job->done);
        delete job;
        {
            std::lock_guard lock(self->mutex_);
            self->pending_.erase(transfer);
            self->idle_.notify_all();
        }
        libusb_free_transfer(transfer);
        // `self` may be gone from here on; `done` does not need it.
        done(result);
    }

    std::shared_ptr<Context> context_;
    libusb_device_handle* handle_;
    DeviceIdentity identity_;
    std::mutex mutex_;
    std::condition_variable idle_;
    std::set<libusb_transfer*> pending_;
    std::atomic<bool> gone_{false};
};

class LibusbTransport final : public UsbTransport {
public:
    LibusbTransport() : context_(std::make_shared<Context>()) {}

    std::string name() const override { return "libusb"; }

    DeviceList list() override {
        DeviceList list;
        if (!context_->get()) {
            list.why = std::string("cannot start (") + libusb_error_name(context_->error()) + ")";
            if (!usbSubsystemPresent()) list.why += ": no USB subsystem on this system";
            return list;
        }
        DeviceListOwner owner;
        const ssize_t count = libusb_get_device_list(context_->get(), &owner.devices);
        if (count < 0) {
            list.why = std::string("cannot list devices: ") + libusb_error_name(static_cast<int>(count));
            return list;
        }
        for (ssize_t i = 0; i < count; ++i) {
            DeviceIdentity identity;
            if (describe(owner.devices[i], identity)) list.devices.push_back(std::move(identity));
        }
        if (list.devices.empty() && !usbSubsystemPresent())
            list.why = std::string("no USB subsystem on this system (") + SYSFS_USB + " does not exist)";
        return list;
    }

    std::unique_ptr<UsbDevice> open(const DeviceIdentity& wanted, UsbStatus& status) override {
        status = UsbStatus::NotFound;
        if (!context_->get()) return nullptr;
        DeviceListOwner owner;
        const ssize_t count = libusb_get_device_list(context_->get(), &owner.devices);
        for (ssize_t i = 0; i < count; ++i) {
            libusb_device* device = owner.devices[i];
            if (libusb_get_bus_number(device) != wanted.bus || libusb_get_device_address(device) != wanted.address)
                continue;
            DeviceIdentity identity;
            if (!describe(device, identity) || identity.productId != wanted.productId) return nullptr;
            libusb_device_handle* handle = nullptr;
            if (const int error = libusb_open(device, &handle); error != LIBUSB_SUCCESS) {
                status = statusOfError(error);
                return nullptr;
            }
            libusb_set_auto_detach_kernel_driver(handle, 1);
            if (const int error = libusb_claim_interface(handle, INTERFACE); error != LIBUSB_SUCCESS) {
                libusb_close(handle);
                status = statusOfError(error);
                return nullptr;
            }
            status = UsbStatus::Ok;
            return std::make_unique<LibusbDevice>(context_, handle, std::move(identity));
        }
        return nullptr;
    }

private:
    std::shared_ptr<Context> context_;
};

}  // namespace

std::shared_ptr<UsbTransport> makeLibusbTransport() { return std::make_shared<LibusbTransport>(); }

}  // namespace kestrel::platform::usb
