#include "platform/usb/usb_selection.h"

#include "platform/driver_interface.h"
#include "platform/environment.h"

#include <charconv>

namespace kestrel::platform::usb {

namespace {

template <typename T>
std::optional<T> parseNumber(std::string_view text, int base, uint32_t max) {
    uint32_t value = 0;
    const auto* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
    if (text.empty() || ec != std::errc() || ptr != end || value > max) return std::nullopt;
    return static_cast<T>(value);
}

std::optional<SelectionEntry> parseEntry(std::string_view text, std::string& error) {
    SelectionEntry entry;
    std::string_view ids = text;
    if (const auto at = text.find('@'); at != std::string_view::npos) {
        ids = text.substr(0, at);
        const std::string_view place = text.substr(at + 1);
        const auto colon = place.find(':');
        if (colon == std::string_view::npos) {
            error = "'" + std::string(text) + "': expected @BUS:ADDRESS";
            return std::nullopt;
        }
        entry.bus = parseNumber<uint8_t>(place.substr(0, colon), 10, 255);
        entry.address = parseNumber<uint8_t>(place.substr(colon + 1), 10, 127);
        if (!entry.bus || !entry.address) {
            error = "'" + std::string(text) + "': bad bus or address";
            return std::nullopt;
        }
    }
    const auto colon = ids.find(':');
    if (colon == std::string_view::npos) {
        error = "'" + std::string(text) + "': expected VID:PID";
        return std::nullopt;
    }
    const auto vendor = parseNumber<uint16_t>(ids.substr(0, colon), 16, 0xFFFF);
    const std::string_view product = ids.substr(colon + 1);
    if (!vendor || (product != "*" && !parseNumber<uint16_t>(product, 16, 0xFFFF))) {
        error = "'" + std::string(text) + "': VID and PID are four hex digits (PID may be *)";
        return std::nullopt;
    }
    entry.vendorId = *vendor;
    if (product != "*") entry.productId = parseNumber<uint16_t>(product, 16, 0xFFFF);
    return entry;
}

}  // namespace

Selection defaultSelection() {
    Selection selection;
    selection.entries.push_back({ANCHOR_VENDOR_ID, std::nullopt, std::nullopt, std::nullopt});
    return selection;
}

std::optional<Selection> parseSelection(std::string_view text, std::string& error) {
    Selection selection;
    selection.named = true;
    while (true) {
        const auto comma = text.find(',');
        auto entry = parseEntry(text.substr(0, comma), error);
        if (!entry) return std::nullopt;
        selection.entries.push_back(*entry);
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    return selection;
}

Selection selectionFromEnvironment(std::string& error) {
    const auto text = getEnv("KESTREL_USB");
    if (!text || text->empty()) return defaultSelection();
    auto parsed = parseSelection(*text, error);
    if (!parsed) {
        error = "KESTREL_USB " + error;
        Selection nothing;
        nothing.named = true;
        return nothing;
    }
    return *parsed;
}

bool hasKestrelLayout(const DeviceIdentity& device) {
    if (device.endpoints.empty()) return true;
    if (device.endpoints.size() != driver::PIPE_COUNT) return false;
    for (const auto& endpoint : device.endpoints)
        if (endpoint.type != EndpointType::Bulk) return false;
    return true;
}

bool selects(const Selection& selection, const DeviceIdentity& device) {
    if (!selection.named && !hasKestrelLayout(device)) return false;
    for (const auto& entry : selection.entries) {
        if (entry.vendorId != device.vendorId) continue;
        if (entry.productId && *entry.productId != device.productId) continue;
        if (entry.bus && (*entry.bus != device.bus || *entry.address != device.address)) continue;
        return true;
    }
    return false;
}

}  // namespace kestrel::platform::usb
