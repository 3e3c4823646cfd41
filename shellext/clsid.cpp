#include "shellext/clsid.h"

namespace kestrel::shellext {

std::string clsidText() {
    LPOLESTR wide = nullptr;
    if (FAILED(StringFromIID(CLSID_DeviceFolder, &wide)) || wide == nullptr) return {};
    char text[64] = {};
    const int written = WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr);
    CoTaskMemFree(wide);
    return written == 0 ? std::string() : std::string(text);
}

}  // namespace kestrel::shellext
