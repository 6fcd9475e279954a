// Pictures of a window as the screen shows it, saved as PNG files that need no image
// library: the pixel rows go into stored (uncompressed) deflate blocks.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

class Screenshot {
public:
    // Copies the window, frame included, from its window device context.
    explicit Screenshot(HWND window);

    int IsTaken() const { return width > 0 && height > 0; }
    // 1 when the file was written.
    int SavePng(const std::string& path) const;

    int width;
    int height;
    std::vector<uint8_t> rgb; // top-down rows of red, green, blue
};
