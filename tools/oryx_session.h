// The library's device for the length of one command: mt_smInit starts it
// (file-system firmware, a reset file system), usbcClose at the end puts
// the device's main firmware back, also when the command fails.
#pragma once

namespace kestrel::cli {

class OryxSession {
public:
    // Fails (Failure) when the device does not start.
    OryxSession();
    ~OryxSession();
    OryxSession(const OryxSession&) = delete;
    OryxSession& operator=(const OryxSession&) = delete;

    // mt_smInit again: the library drops its block maps and file-system
    // state, for when the card was changed beside it.
    void restart();
};

}  // namespace kestrel::cli
