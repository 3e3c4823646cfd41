#include "tests/shellext/harness/icon_pixels.h"

namespace kestrel::shellext::test {

namespace {

std::vector<uint32_t> bitmapPixels(HBITMAP bitmap, int& width, int& height) {
    BITMAP info{};
    if (bitmap == nullptr || GetObjectA(bitmap, sizeof info, &info) == 0) return {};
    width = info.bmWidth;
    height = info.bmHeight;
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = -height;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
    HDC screen = GetDC(nullptr);
    const int lines = GetDIBits(screen, bitmap, 0, static_cast<UINT>(height), pixels.data(), &format, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (lines != height) return {};
    return pixels;
}

}  // namespace

IconPixels iconPixels(HICON icon) {
    IconPixels pixels;
    ICONINFO info{};
    if (icon == nullptr || !GetIconInfo(icon, &info)) return pixels;
    int maskWidth = 0, maskHeight = 0;
    pixels.mask = bitmapPixels(info.hbmMask, maskWidth, maskHeight);
    pixels.colour = bitmapPixels(info.hbmColor, pixels.width, pixels.height);
    if (info.hbmColor == nullptr) {  // monochrome icons keep both halves in the mask
        pixels.width = maskWidth;
        pixels.height = maskHeight / 2;
    }
    if (info.hbmMask != nullptr) DeleteObject(info.hbmMask);
    if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
    return pixels;
}

}  // namespace kestrel::shellext::test
