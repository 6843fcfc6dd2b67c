#pragma once
// Frames as PNG files, for the tools and the tests; the game itself writes none.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "kromi/draw/frame.h"

namespace kromi {

// What a PNG file keeps of a frame's pixels. Windows reads the PNG image of an icon only as 8-bit
// RGBA; everything else here wants the smaller RGB.
enum class PngChannels { kRgb, kRgba };

// The whole PNG file for a frame, 8-bit RGB (alpha dropped) or RGBA (the frame's alpha byte
// kept); empty if the frame is empty.
std::vector<std::uint8_t> EncodePng(const Frame& frame, PngChannels channels = PngChannels::kRgb);

// Writes frame as a PNG file at path; false if the frame is empty or the file cannot be written.
bool WritePng(const Frame& frame, const std::string& path);

// Decodes any PNG up to 16384 pixels a side as the colours it stores: palette and grey images
// widened to RGB, 16-bit channels cut to 8, alpha dropped. Nothing for a damaged, truncated or
// non-PNG file.
std::optional<Frame> DecodePng(std::span<const std::uint8_t> bytes);

// Reads a PNG file as DecodePng does; nothing if it cannot be read or decoded.
std::optional<Frame> ReadPng(const std::string& path);

}  // namespace kromi
