// The exported usbc* functions: a facade over the library's one device
// instance, which finds its firmware images in the folder of the library.
#include "oryx/oryx.h"

#include "oryx/library_lifetime.h"
#include "platform/module.h"
#include "usblink/usb_device.h"

using kestrel::usblink::UsbDevice;

namespace {

UsbDevice& theDevice() {
    static UsbDevice device(kestrel::platform::moduleFolder(reinterpret_cast<const void*>(&theDevice)));
    static const bool closedAtUnload = (kestrel::oryx::closeAtUnload(), true);
    (void)closedAtUnload;
    return device;
}

// The way out of every export that may start or stop the link.
template <typename Result>
Result settled(Result result) {
    kestrel::oryx::holdLibraryWhileLinkRuns(theDevice().link().running());
    return result;
}

}  // namespace

extern "C" {

uint32_t ORYX_CALL usbcInit(void) { return settled(theDevice().init()); }
void ORYX_CALL usbcClose(void) {
    theDevice().close();
    kestrel::oryx::holdLibraryWhileLinkRuns(theDevice().link().running());
}
uint32_t ORYX_CALL usbcDownload51(const char* path) { return theDevice().download(path); }

uint32_t ORYX_CALL usbcReadSM(uint8_t sm, uint32_t adr, uint8_t scnt, void* buffer) {
    return settled(theDevice().commands().readSM(sm, adr, scnt, buffer));
}
uint32_t ORYX_CALL usbcReadSMspare(uint8_t sm, uint32_t adr, uint8_t scnt, void* buffer) {
    return settled(theDevice().commands().readSMspare(sm, adr, scnt, buffer));
}
uint32_t ORYX_CALL usbcReadID(uint8_t sm, void* buffer) {
    return settled(theDevice().commands().readID(sm, buffer));
}
uint32_t ORYX_CALL usbcGetStatus(uint8_t sm, void* buffer) {
    return settled(theDevice().commands().getStatus(sm, buffer));
}
uint32_t ORYX_CALL usbcEraseBlock(uint8_t sm, uint32_t adr) {
    return settled(theDevice().commands().eraseBlock(sm, adr));
}
uint32_t ORYX_CALL usbcWriteSM(uint8_t sm, uint32_t adr, uint16_t bcnt, const void* buffer) {
    return settled(theDevice().commands().writeSM(sm, adr, bcnt, buffer));
}
uint32_t ORYX_CALL usbcReadLC(uint16_t adr, void* buffer) {
    return settled(theDevice().commands().readLC(adr, buffer));
}
uint32_t ORYX_CALL usbcWriteLC(uint16_t adr, const void* data) {
    return settled(theDevice().commands().writeLC(adr, data));
}

}  // extern "C"
