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
platform::UniqueBitmap MakeDib(int size, std::uint8_t** bits) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* pixels = nullptr;
    platform::UniqueBitmap dib(
        ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0));
    *bits = static_cast<std::uint8_t*>(pixels);
    return dib;
}

// The stored picture, its straight alpha laid on `background`.
platform::UniqueBitmap Composited(int number, int stored, COLORREF background) {
    const platform::UniqueBitmap source(static_cast<HBITMAP>(
        ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(stored * 1000 + number),
                     IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    if (!source)
        return {};
    DIBSECTION ds{};
    std::uint8_t* out = nullptr;
    platform::UniqueBitmap result;
    if (::GetObjectW(source.get(), sizeof ds, &ds) == sizeof ds && ds.dsBm.bmBitsPixel == 32 &&
        ds.dsBm.bmBits && ds.dsBm.bmWidth == stored && std::abs(ds.dsBm.bmHeight) == stored &&
        (result = MakeDib(stored, &out))) {
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
    return result;
}

} // namespace

platform::UniqueBitmap SizedPicture(int number, int size, COLORREF background) {
    if (size <= 0)
        return {};
    const int stored = StoredSizeFor(size);
    platform::UniqueBitmap picture = Composited(number, stored, background);
    if (!picture || stored == size)
        return picture;
    std::uint8_t* bits = nullptr;
    platform::UniqueBitmap fitted = MakeDib(size, &bits);
    const platform::UniqueMemoryDc from(::CreateCompatibleDC(nullptr));
    const platform::UniqueMemoryDc to(::CreateCompatibleDC(nullptr));
    if (fitted && from && to) {
        const platform::SelectedObject fromPicture(from.get(), picture.get());
        const platform::SelectedObject toFitted(to.get(), fitted.get());
        ::SetStretchBltMode(to.get(), HALFTONE);
        ::SetBrushOrgEx(to.get(), 0, 0, nullptr);
        ::StretchBlt(to.get(), 0, 0, size, size, from.get(), 0, 0, stored, stored, SRCCOPY);
    }
    return fitted;
}

} // namespace calvorn::ui
