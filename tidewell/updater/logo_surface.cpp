#include "tidewell/updater/logo_surface.h"

#include <cstdint>
#include <cstring>

namespace {

constexpr int kLogoBits = 4;
constexpr int kLogoColours = 16;

struct LogoSurface {
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ previous;
    uint8_t* bits;
};

struct LogoInfo {
    BITMAPINFOHEADER header;
    RGBQUAD colours[kLogoColours];
};

LogoSurface g_logo;

uint32_t RowBytes(int width, int bits)
{
    return ((static_cast<uint32_t>(width) * bits + 31) / 32) * 4;
}

}  // namespace

int CreateLogoSurface(HDC windowDc)
{
    LogoInfo info = {};
    info.header.biSize = sizeof(info.header);
    info.header.biWidth = kLogoWidth;
    info.header.biHeight = -kLogoHeight;  // rows from the top
    info.header.biPlanes = 1;
    info.header.biBitCount = kLogoBits;
    info.header.biCompression = BI_RGB;
    info.header.biClrUsed = kLogoColours;
    void* bits = nullptr;
    g_logo.bitmap = CreateDIBSection(windowDc, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!g_logo.bitmap) return 1;
    g_logo.bits = static_cast<uint8_t*>(bits);
    g_logo.dc = CreateCompatibleDC(windowDc);
    if (!g_logo.dc) {
        ReleaseLogoSurface();
        return 1;
    }
    g_logo.previous = SelectObject(g_logo.dc, g_logo.bitmap);
    return 0;
}

int LoadLogoBitmap(HINSTANCE instance, int id)
{
    HRSRC found = FindResourceA(instance, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(2));  // RT_BITMAP
    HGLOBAL loaded = found ? LoadResource(instance, found) : nullptr;
    const uint8_t* data = loaded ? static_cast<const uint8_t*>(LockResource(loaded)) : nullptr;
    DWORD size = found ? SizeofResource(instance, found) : 0;
    if (!data || !g_logo.bits || size < sizeof(BITMAPINFOHEADER)) return 1;
    BITMAPINFOHEADER header;
    std::memcpy(&header, data, sizeof(header));
    // Only the surface's own depth is copied as it stands.
    if (header.biSize < sizeof(header) || header.biBitCount != kLogoBits || header.biCompression != BI_RGB ||
        header.biWidth <= 0 || header.biHeight == 0)
        return 1;
    uint32_t colours = header.biClrUsed == 0 || header.biClrUsed > kLogoColours ? kLogoColours : header.biClrUsed;
    bool bottomUp = header.biHeight > 0;
    uint32_t height = static_cast<uint32_t>(bottomUp ? header.biHeight : -header.biHeight);
    uint32_t sourceRow = RowBytes(header.biWidth, kLogoBits);
    uint64_t needed = header.biSize + colours * sizeof(RGBQUAD) + static_cast<uint64_t>(sourceRow) * height;
    if (needed > size) return 1;
    RGBQUAD table[kLogoColours];
    std::memcpy(table, data + header.biSize, colours * sizeof(RGBQUAD));
    const uint8_t* pixels = data + header.biSize + colours * sizeof(RGBQUAD);
    uint32_t surfaceRow = RowBytes(kLogoWidth, kLogoBits);
    uint32_t rows = height < kLogoHeight ? height : kLogoHeight;
    uint32_t rowBytes = sourceRow < surfaceRow ? sourceRow : surfaceRow;
    GdiFlush();
    for (uint32_t y = 0; y < rows; ++y) {
        uint32_t from = bottomUp ? height - 1 - y : y;
        std::memcpy(g_logo.bits + y * surfaceRow, pixels + from * sourceRow, rowBytes);
    }
    SetDIBColorTable(g_logo.dc, 0, colours, table);
    return 0;
}

HDC LogoSurfaceDc()
{
    return g_logo.dc;
}

COLORREF LogoSurfacePixel(int x, int y)
{
    return g_logo.dc ? GetPixel(g_logo.dc, x, y) : CLR_INVALID;
}

void ReleaseLogoSurface()
{
    if (g_logo.dc) {
        if (g_logo.previous) SelectObject(g_logo.dc, g_logo.previous);
        DeleteDC(g_logo.dc);
    }
    if (g_logo.bitmap) DeleteObject(g_logo.bitmap);
    g_logo = LogoSurface();
}
