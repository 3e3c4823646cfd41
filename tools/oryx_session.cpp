#include "tools/oryx_session.h"

#include "fatfs/oryx.h"
#include "tools/failure.h"
#include "tools/oryx_result.h"

#include <cstdint>
#include <string>

namespace kestrel::cli {

OryxSession::OryxSession() {
    const uint32_t result = mt_smInit();
    if (result != 0) {
        usbcClose();
        fail("cannot start the device: ORYX result " + std::to_string(result) +
             (result == ORYX_DEVICE_FAILED ? " (the device link did not start: is the device connected?)"
                                           : std::string(" (") + oryxResultMeaning(result) + ")"));
    }
}

OryxSession::~OryxSession() { usbcClose(); }

void OryxSession::restart() { checkOryx(mt_smInit(), "cannot restart the device"); }

}  // namespace kestrel::cli
