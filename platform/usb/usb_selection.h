// Which USB devices the provider takes for the Kestrel: Anchor's vendor id
// with any product id whose interface has the Kestrel's pipe layout, or the
// devices KESTREL_USB names ("VID:PID[@BUS:ADDRESS][,...]", ids in hex,
// bus and address in decimal).
#pragma once

#include "platform/usb/usb_transport.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::platform::usb {

inline constexpr uint16_t ANCHOR_VENDOR_ID = 0x0547;

struct SelectionEntry {
    uint16_t vendorId = 0;
    std::optional<uint16_t> productId;  // none: any product id
    std::optional<uint8_t> bus;         // with address: that device only
    std::optional<uint8_t> address;
};

struct Selection {
    std::vector<SelectionEntry> entries;
    bool named = false;  // from KESTREL_USB: taken whatever their pipe layout
};

// The default selection: Anchor's vendor id, any product id.
[[nodiscard]] Selection defaultSelection();

// Parses a KESTREL_USB value; none with `error` set when it is malformed.
[[nodiscard]] std::optional<Selection> parseSelection(std::string_view text, std::string& error);

// The selection KESTREL_USB asks for, else the default one. A malformed
// value selects nothing and says why in `error`.
[[nodiscard]] Selection selectionFromEnvironment(std::string& error);

// Six bulk endpoints (firmware running) or none (the bare controller).
[[nodiscard]] bool hasKestrelLayout(const DeviceIdentity& device);

[[nodiscard]] bool selects(const Selection& selection, const DeviceIdentity& device);

}  // namespace kestrel::platform::usb
