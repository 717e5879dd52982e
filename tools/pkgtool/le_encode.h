// Little-endian integers appended to the bytes of a part being put together.
#pragma once

#include <cstdint>
#include <string>

#include "pkgfile/little_endian.h"

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
