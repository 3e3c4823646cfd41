// An ORYX table that records every call the tool makes, passes it on to the
// library, and can make a chosen call fail instead.
#pragma once

#include "fwupdate/core/oryx_api.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kestrel::fwupdate::test {

struct OryxCall {
    std::string name;    // the table entry: "init", "writeFile", "close", ...
    std::string detail;  // its path, length or address
    bool operator==(const OryxCall&) const = default;
};

class OryxSpy {
public:
    explicit OryxSpy(OryxApi library = exportedOryx()) : library_(std::move(library)) {}
    OryxSpy(const OryxSpy&) = delete;
    OryxSpy& operator=(const OryxSpy&) = delete;

    // The table to give the tool; it refers to this spy.
    OryxApi api();

    // The `nth` call of `name` from now on answers `code` instead of
    // reaching the library (usbcReadLC/usbcWriteLC: 0 is their failure).
    void failCall(const std::string& name, uint32_t code, int nth = 1);

    // Rescue formats reach the library as quick formats (and are recorded
    // as asked). A rescue format tests every block of the card; tests that
    // are not about it are spared those device commands, which cost much
    // more through wine's sockets than natively.
    bool quickFormats = false;

    std::vector<OryxCall> calls;
    // The names of the calls, in order.
    std::vector<std::string> names() const;
    // The details of the calls named `name`.
    std::vector<std::string> details(const std::string& name) const;

private:
    struct Failure {
        int countdown;
        uint32_t code;
    };
    // Records the call; true (and `code` set) when it is to fail.
    bool record(const std::string& name, const std::string& detail, uint32_t& code);

    OryxApi library_;
    std::map<std::string, Failure> failures_;
};

}  // namespace kestrel::fwupdate::test
