// LogoSurface: an off-screen 328 x 120 picture at 4 bits per pixel with 16
// colours, holding the logo. The window is painted from it, and the status
// line is erased by copying its pixels back.
#pragma once

#include <windows.h>

constexpr int kLogoWidth = 328;
constexpr int kLogoHeight = 120;

// Creates the top-down DIB section and its memory device context,
// compatible with windowDc: 0, or 1 when either cannot be made.
int CreateLogoSurface(HDC windowDc);
// Copies bitmap resource id (4 bits per pixel, with its colour table) into
// the surface: 0, or 1 when the resource is missing or not such a bitmap.
int LoadLogoBitmap(HINSTANCE instance, int id);
HDC LogoSurfaceDc();
// The surface's pixel at x, y as a colour (for checks).
COLORREF LogoSurfacePixel(int x, int y);
void ReleaseLogoSurface();
