// Patching a dialog template so that it makes a child at its parent's
// origin, in both template layouts.
#include "fwupdate/core/dialog_template.h"

#include "platform/byte_order.h"

#include <gtest/gtest.h>

namespace kestrel::fwupdate::test {
namespace {

constexpr uint32_t WS_POPUP_ = 0x80000000;
constexpr uint32_t WS_VISIBLE_ = 0x10000000;
constexpr uint32_t WS_CAPTION_ = 0x00C00000;  // border + dialog frame
constexpr uint32_t WS_SYSMENU_ = 0x00080000;
constexpr uint32_t WS_THICKFRAME_ = 0x00040000;
constexpr uint32_t WS_MINIMIZE_ = 0x20000000;
constexpr uint32_t WS_MAXIMIZE_ = 0x01000000;
constexpr uint32_t DS_MODALFRAME_ = 0x80;
constexpr uint32_t DS_SETFONT_ = 0x40;

// A template header: `style` at `styleAt`, x and y at `xAt` and `xAt` + 2.
std::vector<uint8_t> header(bool extended, uint32_t style, int16_t x, int16_t y) {
    std::vector<uint8_t> bytes(extended ? 40 : 30, 0xAB);
    size_t styleAt = 0, xAt = 10;
    if (extended) {
        storeLe16(&bytes[0], 1);
        storeLe16(&bytes[2], 0xFFFF);
        styleAt = 12;
        xAt = 18;
    }
    storeLe32(&bytes[styleAt], style);
    storeLe16(&bytes[xAt], static_cast<uint16_t>(x));
    storeLe16(&bytes[xAt + 2], static_cast<uint16_t>(y));
    return bytes;
}

TEST(DialogTemplate, BothLayoutsBecomeChildrenAtTheOrigin) {
    const uint32_t popup = WS_POPUP_ | WS_VISIBLE_ | WS_CAPTION_ | WS_SYSMENU_ | WS_THICKFRAME_ | WS_MINIMIZE_ |
                           WS_MAXIMIZE_ | DS_MODALFRAME_ | DS_SETFONT_;
    for (const bool extended : {false, true}) {
        auto bytes = header(extended, popup, 120, -7);
        const auto before = bytes;
        ASSERT_TRUE(patchChildDialogTemplate(bytes)) << extended;
        const size_t styleAt = extended ? 12 : 0, xAt = extended ? 18 : 10;
        // Only the visible flag and the font survive; child and clip siblings join.
        EXPECT_EQ(loadLe32(&bytes[styleAt]), WS_VISIBLE_ | DS_SETFONT_ | 0x44000000u) << extended;
        EXPECT_EQ(loadLe16(&bytes[xAt]), 0) << extended;
        EXPECT_EQ(loadLe16(&bytes[xAt + 2]), 0) << extended;
        for (size_t i = 0; i < bytes.size(); ++i) {
            const bool patched = (i >= styleAt && i < styleAt + 4) || (i >= xAt && i < xAt + 4);
            if (!patched) {
                EXPECT_EQ(bytes[i], before[i]) << "byte " << i << (extended ? " extended" : " plain");
            }
        }
    }
}

TEST(DialogTemplate, ABlockTooShortForItsLayoutIsLeftAlone) {
    std::vector<uint8_t> plain(13, 0x11);
    EXPECT_FALSE(patchChildDialogTemplate(plain));
    EXPECT_EQ(plain, std::vector<uint8_t>(13, 0x11));
    auto extended = header(true, WS_POPUP_, 1, 2);
    extended.resize(21);
    const auto before = extended;
    EXPECT_FALSE(patchChildDialogTemplate(extended));
    EXPECT_EQ(extended, before);
}

}  // namespace
}  // namespace kestrel::fwupdate::test
