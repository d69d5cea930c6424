// PNG files of screenshots on Win32, through the system's imaging component
// (WIC): a 32-bit top-down DIB section encoded, a PNG file decoded into one.
#pragma once

#include <windows.h>

#include <cstddef>
#include <vector>

namespace zephron::bugreport::win32 {

// The PNG file of width x height pixels, 4 bytes each (blue, green, red,
// unused), rows top to bottom; empty when it cannot be made.
std::vector<std::byte> EncodePng(const void* pixels, int width, int height);

// A DIB section with the picture, which the caller deletes; null when the
// bytes are not a PNG file the system can read.
HBITMAP DecodePng(const std::vector<std::byte>& png, SIZE& size);

}  // namespace zephron::bugreport::win32
