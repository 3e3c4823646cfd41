#include "platform/usb/usb_transport.h"

namespace kestrel::platform::usb {

const char* statusName(UsbStatus status) {
    switch (status) {
    case UsbStatus::Ok: return "ok";
    case UsbStatus::Gone: return "device gone";
    case UsbStatus::Cancelled: return "cancelled";
    case UsbStatus::Stall: return "stall";
    case UsbStatus::Timeout: return "timeout";
    case UsbStatus::Access: return "access denied";
    case UsbStatus::Busy: return "busy";
    case UsbStatus::NotFound: return "not found";
    case UsbStatus::Error: break;
    }
    return "error";
}

}  // namespace kestrel::platform::usb
