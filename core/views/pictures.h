#pragma once
// Colour variants of the 8-bit background pictures: the base picture's headers
// and pixels with another palette.
#include <filesystem>
#include <vector>

namespace velmar {

// Writes variant k (k = 0..palettes-1) of an 8-bit BMP: its first 54 bytes, then
// the 256 entries of palette k as blue, green, red, 0, then the pixel data from
// byte 1078. A palette file holds 256 red, green, blue triples (768 bytes).
// Throws std::runtime_error when a file cannot be read or written.
void BuildColourVariants(const std::filesystem::path& basePicture, const std::vector<std::filesystem::path>& palettes,
                         const std::vector<std::filesystem::path>& variants);

}  // namespace velmar
