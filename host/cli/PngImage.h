#pragma once
// PNG pictures as 8-bit RGBA rows, top row first: written for the editor
// screenshots of the command-line host and read back by the tests.

#include <cstdint>
#include <string>
#include <vector>

struct TRgbaImage {
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::vector<std::uint8_t> Pixels; // Width * Height * 4 bytes: R, G, B, A

    // The pixel at X, Y as 0xRRGGBB; 0 outside the picture.
    std::uint32_t Rgb(std::int32_t X, std::int32_t Y) const;
};

// The PNG file of Image; empty when the image is empty or inconsistent.
std::vector<std::uint8_t> EncodePng(const TRgbaImage& Image);
// Reads a PNG file; false with a reason in Error when it is not one.
bool DecodePng(const std::vector<std::uint8_t>& Bytes, TRgbaImage& Image, std::string& Error);
