#include "ui/picture_art.h"

#include <cstdint>
#include <cstdlib>
#include <iterator>

namespace calvorn::ui {

namespace {

constexpr int kStoredSizes[] = {16, 20, 24, 32, 40, 48, 64};

int StoredSizeFor(int size) {
    for (int stored : kStoredSizes)
        if (stored >= size)
            return stored;
    return kStoredSizes[std::size(kStoredSizes) - 1];
}

// A 24-bit top-down DIB section and its pixels.
HBITMAP MakeDib(int size, std::uint8_t** bits) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* pixels = nullptr;
    HBITMAP dib = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    *bits = static_cast<std::uint8_t*>(pixels);
    return dib;
}

// The stored picture, its straight alpha laid on `background`.
HBITMAP Composited(int number, int stored, COLORREF background) {
    auto* source = static_cast<HBITMAP>(::LoadImageW(::GetModuleHandleW(nullptr),
                                                     MAKEINTRESOURCEW(stored * 1000 + number),
                                                     IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!source)
        return nullptr;
    DIBSECTION ds{};
    std::uint8_t* out = nullptr;
    HBITMAP result = nullptr;
    if (::GetObjectW(source, sizeof ds, &ds) == sizeof ds && ds.dsBm.bmBitsPixel == 32 &&
        ds.dsBm.bmBits && ds.dsBm.bmWidth == stored && std::abs(ds.dsBm.bmHeight) == stored &&
        (result = MakeDib(stored, &out)) != nullptr) {
        const int stride = (stored * 3 + 3) & ~3;
        const bool bottomUp = ds.dsBmih.biHeight > 0;
        const int back[3] = {GetBValue(background), GetGValue(background), GetRValue(background)};
        for (int y = 0; y < stored; ++y) {
            const auto* in =
                static_cast<const std::uint8_t*>(ds.dsBm.bmBits) +
                static_cast<size_t>(bottomUp ? stored - 1 - y : y) * ds.dsBm.bmWidthBytes;
            std::uint8_t* row = out + static_cast<size_t>(y) * stride;
            for (int x = 0; x < stored; ++x) {
                const int alpha = in[x * 4 + 3];
                for (int c = 0; c < 3; ++c)
                    row[x * 3 + c] = static_cast<std::uint8_t>(
                        (in[x * 4 + c] * alpha + back[c] * (255 - alpha) + 127) / 255);
            }
        }
    }
    ::DeleteObject(source);
    return result;
}

} // namespace

HBITMAP SizedPicture(int number, int size, COLORREF background) {
    if (size <= 0)
        return nullptr;
    const int stored = StoredSizeFor(size);
    HBITMAP picture = Composited(number, stored, background);
    if (!picture || stored == size)
        return picture;
    std::uint8_t* bits = nullptr;
    HBITMAP fitted = MakeDib(size, &bits);
    HDC from = ::CreateCompatibleDC(nullptr);
    HDC to = ::CreateCompatibleDC(nullptr);
    if (fitted && from && to) {
        HGDIOBJ oldFrom = ::SelectObject(from, picture);
        HGDIOBJ oldTo = ::SelectObject(to, fitted);
        ::SetStretchBltMode(to, HALFTONE);
        ::SetBrushOrgEx(to, 0, 0, nullptr);
        ::StretchBlt(to, 0, 0, size, size, from, 0, 0, stored, stored, SRCCOPY);
        ::SelectObject(from, oldFrom);
        ::SelectObject(to, oldTo);
    }
    if (from)
        ::DeleteDC(from);
    if (to)
        ::DeleteDC(to);
    ::DeleteObject(picture);
    return fitted;
}

} // namespace calvorn::ui
