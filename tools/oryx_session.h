// The library's device for the length of one command: mt_smInit starts it
// (file-system firmware, a reset file system), usbcClose at the end puts
// the device's main firmware back, also when the command fails. One program
// at a time has the device: while another has it, the session says so on
// `err` and waits as long as the library would, then fails with
// DEVICE_IN_USE.
#pragma once

#include <cstdio>

namespace kestrel::cli {

inline constexpr const char* DEVICE_IN_USE =
    "the device is in use by another program: try again when it has finished";

class OryxSession {
public:
    // Fails (Failure) when the device does not start.
    explicit OryxSession(std::FILE* err);
    ~OryxSession();
    OryxSession(const OryxSession&) = delete;
    OryxSession& operator=(const OryxSession&) = delete;

    // mt_smInit again: the library drops its block maps and file-system
    // state, for when the card was changed beside it.
    void restart();
};

// A write batch of the library (mt_smBeginBatch) for the files of one
// command: their entries and FAT changes reach the card together at end(),
// or when the batch goes out of scope (its result then unchecked).
class OryxBatch {
public:
    // Fails (Failure) when the library refuses the batch.
    OryxBatch();
    ~OryxBatch();
    OryxBatch(const OryxBatch&) = delete;
    OryxBatch& operator=(const OryxBatch&) = delete;

    // Writes the batch out with the result checked.
    void end();

private:
    bool open_ = true;
};

}  // namespace kestrel::cli
