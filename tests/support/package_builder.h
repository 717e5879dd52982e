// Package file bytes for tests, made with pkgtool's own encoders: parts,
// headers, reference lists and file entries, every integer little-endian.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pkg/package.h"

namespace testpkg {

constexpr uint32_t kMagic = 0xBAD0F11E;
constexpr uint32_t kUntrackedMagic = 0xA1100FFB;

std::string le16(uint16_t value);
std::string le32(uint32_t value);
// type, length, data.
std::string part(uint16_t type, const std::string& data);
// The file header (magic, parts.size()) followed by the parts.
std::string packageFile(const std::string& parts, uint32_t magic = kMagic);
// The data of a header part: 32 bytes, or 36 with the flags word.
std::string headerData(const std::string& name, Version version, uint32_t buildTime = 0);
std::string headerData(const std::string& name, Version version, uint32_t buildTime, uint32_t flags);
std::string refListData(const std::vector<DependencyEntry>& entries);
// One file entry of a Files payload: the 30-byte header, name, data.
std::string fileEntry(uint16_t mode, const std::string& name, const std::string& data,
                      uint8_t hardwareKind = 0);
// zlib format, with header and Adler-32 trailer.
std::string compress(const std::string& data);
// The bytes that a text of hexadecimal digits spells.
std::vector<uint8_t> fromHex(const std::string& hex);

}  // namespace testpkg
