#pragma once
// Minimal PNG output for frame snapshots, with no compression library: 8-bit RGB, stored deflate
// blocks. The reader understands exactly what the writer produces, for checking snapshots.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "kromi/draw/frame.h"

namespace kromi {

// CRC-32 as PNG chunks use it (polynomial 0xEDB88320, initial and final inversion).
std::uint32_t Crc32(std::span<const std::uint8_t> bytes);

// Adler-32 as a zlib stream ends with it.
std::uint32_t Adler32(std::span<const std::uint8_t> bytes);

// The whole PNG file for a frame (alpha dropped); empty if the frame is empty.
std::vector<std::uint8_t> EncodePng(const Frame& frame);

// Writes frame as a PNG file at path; false if the frame is empty or the file cannot be written.
bool WritePng(const Frame& frame, const std::string& path);

// Decodes a PNG made by EncodePng (8-bit RGB, filter 0, stored blocks, checksums valid);
// nothing for anything else.
std::optional<Frame> DecodePng(std::span<const std::uint8_t> bytes);

// Reads a PNG file written by WritePng; nothing if it cannot be read or decoded.
std::optional<Frame> ReadPng(const std::string& path);

}  // namespace kromi
