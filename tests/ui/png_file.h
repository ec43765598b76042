// Writes 24-bit RGB pictures as PNG files (uncompressed deflate blocks).
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

// pixels: width * height values 0x00RRGGBB, rows from the top.
bool WritePng(const std::string& path, int width, int height, const std::vector<uint32_t>& pixels);
