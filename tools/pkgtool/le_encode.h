// Integers in package files are little-endian on every host: written byte
// by byte, never by casting.
#pragma once

#include <cstdint>
#include <string>

inline void storeLe16(uint8_t* bytes, uint16_t value) {
  bytes[0] = uint8_t(value);
  bytes[1] = uint8_t(value >> 8);
}

inline void storeLe32(uint8_t* bytes, uint32_t value) {
  bytes[0] = uint8_t(value);
  bytes[1] = uint8_t(value >> 8);
  bytes[2] = uint8_t(value >> 16);
  bytes[3] = uint8_t(value >> 24);
}

inline void appendLe16(std::string& out, uint16_t value) {
  uint8_t bytes[2];
  storeLe16(bytes, value);
  out.append(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

inline void appendLe32(std::string& out, uint32_t value) {
  uint8_t bytes[4];
  storeLe32(bytes, value);
  out.append(reinterpret_cast<const char*>(bytes), sizeof bytes);
}
