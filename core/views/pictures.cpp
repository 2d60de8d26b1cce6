#include "pictures.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace velmar {

namespace fs = std::filesystem;

namespace {

constexpr size_t kHeaderBytes = 54;    // file header (14) and picture header (40)
constexpr size_t kPixelOffset = 1078;  // 54 + 256 palette entries of 4 bytes
constexpr size_t kPaletteFileBytes = 768;

std::vector<uint8_t> ReadWhole(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("Cannot open \"" + file.string() + "\": " + std::strerror(errno));
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw std::runtime_error("Cannot read \"" + file.string() + "\"");
    return bytes;
}

uint32_t Le(const std::vector<uint8_t>& b, size_t at, size_t width) {
    uint32_t v = 0;
    for (size_t i = 0; i < width; ++i) v |= uint32_t(b[at + i]) << (8 * i);
    return v;
}

// The variants keep the base's headers and pixels, so the base must be exactly
// the layout they assume: a Windows bitmap with a 40-byte picture header, 8 bits
// per pixel and a full 256-entry palette right before the pixels.
void CheckBase(const fs::path& file, const std::vector<uint8_t>& b) {
    const std::string name = "\"" + file.string() + "\"";
    if (b.size() < kPixelOffset || b[0] != 'B' || b[1] != 'M')
        throw std::runtime_error(name + " is not a bitmap picture of at least 1078 bytes");
    if (Le(b, 14, 4) != 40)
        throw std::runtime_error(name + " does not have the 40-byte picture header of a Windows bitmap");
    if (Le(b, 28, 2) != 8)
        throw std::runtime_error(name + " has " + std::to_string(Le(b, 28, 2)) +
                                 " bits per pixel; colour variants need an 8-bit picture");
    if (Le(b, 10, 4) != kPixelOffset)
        throw std::runtime_error(name + " has its pixel data at byte " + std::to_string(Le(b, 10, 4)) +
                                 "; colour variants need a 256-colour palette and pixel data at byte 1078");
}

}  // namespace

void BuildColourVariants(const fs::path& basePicture, const std::vector<fs::path>& palettes,
                         const std::vector<fs::path>& variants) {
    if (palettes.size() != variants.size())
        throw std::runtime_error("Colour variants: " + std::to_string(palettes.size()) + " palettes for " +
                                 std::to_string(variants.size()) + " pictures");
    const std::vector<uint8_t> base = ReadWhole(basePicture);
    CheckBase(basePicture, base);

    for (size_t k = 0; k < palettes.size(); ++k) {
        // Palette files may carry a trailer after the 256 triples (colour count, transparent index).
        const std::vector<uint8_t> rgb = ReadWhole(palettes[k]);
        if (rgb.size() < kPaletteFileBytes)
            throw std::runtime_error("\"" + palettes[k].string() + "\" holds " + std::to_string(rgb.size()) +
                                     " bytes; a palette needs 768 (256 red, green, blue triples)");
        std::vector<uint8_t> out(base.begin(), base.begin() + kHeaderBytes);
        out.reserve(base.size());
        for (size_t i = 0; i < 256; ++i) out.insert(out.end(), {rgb[3 * i + 2], rgb[3 * i + 1], rgb[3 * i], 0});
        out.insert(out.end(), base.begin() + kPixelOffset, base.end());

        std::ofstream file(variants[k], std::ios::binary | std::ios::trunc);
        if (!file) throw std::runtime_error("Cannot create \"" + variants[k].string() + "\": " + std::strerror(errno));
        file.write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
        file.close();
        if (!file) throw std::runtime_error("Cannot write \"" + variants[k].string() + "\": " + std::strerror(errno));
    }
}

}  // namespace velmar
