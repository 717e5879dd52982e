// The entries of a Files payload, back to back: a 30-byte header, the name,
// then the data. The header holds the mode (file type and permission bits
// as in st_mode) at offset 0, the hardware kind at 23, the size of the data
// at 24 and the length of the name at 28; the other bytes are zero.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t FILE_ENTRY_HEADER_SIZE = 30;

struct FileEntryHeader {
  uint16_t mode = 0;
  uint8_t hardwareKind = 0;  // 0: every machine
  uint32_t size = 0;         // bytes of data after the name
  uint16_t nameLength = 0;

  // Only regular files are unpacked; directories and links are passed over.
  bool isRegularFile() const { return (mode & 0xF000) == 0x8000; }
};

FileEntryHeader decodeFileEntryHeader(const uint8_t (&bytes)[FILE_ENTRY_HEADER_SIZE]);
void encodeFileEntryHeader(const FileEntryHeader& header, uint8_t (&bytes)[FILE_ENTRY_HEADER_SIZE]);
