#include "tools/oryx_session.h"

#include "oryx/oryx.h"
#include "platform/lock_file.h"
#include "tools/failure.h"
#include "tools/oryx_result.h"
#include "usblink/device_session.h"
#include "usblink/link.h"

#include <cstdint>
#include <string>

namespace kestrel::cli {

namespace {

// Whether another program holds the device's session, after waiting at most
// `ms` for it to end. The library takes the session itself; this only looks,
// so that a command can tell its user instead of leaving it to the library's
// message box (on Windows a window that a command line cannot answer).
bool inUseElsewhere(uint32_t ms) {
    const std::string path = usblink::sessionLockPath(usblink::LinkNames{}.device);
    if (path.empty()) return false;
    return platform::LockFile::acquire(path, ms).result == platform::LockResult::Busy;
}

void waitForTheDevice(std::FILE* err) {
    if (!inUseElsewhere(0)) return;
    std::fputs("kestrel: the device is in use by another program; waiting for it to finish\n", err);
    std::fflush(err);
    if (inUseElsewhere(usblink::SESSION_WAIT_MS)) fail(DEVICE_IN_USE);
}

}  // namespace

OryxSession::OryxSession(std::FILE* err) {
    waitForTheDevice(err);
    const uint32_t result = mt_smInit();
    if (result != 0) {
        usbcClose();
        if (result == ORYX_DEVICE_FAILED && inUseElsewhere(0)) fail(DEVICE_IN_USE);
        fail("cannot start the device: ORYX result " + std::to_string(result) +
             (result == ORYX_DEVICE_FAILED ? " (the device link did not start: is the device connected?)"
                                           : std::string(" (") + oryxResultMeaning(result) + ")"));
    }
}

OryxSession::~OryxSession() { usbcClose(); }

void OryxSession::restart() { checkOryx(mt_smInit(), "cannot restart the device"); }

OryxBatch::OryxBatch() { checkOryx(mt_smBeginBatch(0), "cannot start writing to the card"); }

OryxBatch::~OryxBatch() {
    if (open_) (void)mt_smEndBatch(0);
}

void OryxBatch::end() {
    open_ = false;
    checkOryx(mt_smEndBatch(0), "cannot write the new entries to the card");
}

}  // namespace kestrel::cli
