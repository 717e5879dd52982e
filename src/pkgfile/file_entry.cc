#include "pkgfile/file_entry.h"

#include <cstring>

#include "pkgfile/little_endian.h"

namespace {

constexpr size_t kModeOffset = 0;
constexpr size_t kHardwareKindOffset = 23;
constexpr size_t kSizeOffset = 24;
constexpr size_t kNameLengthOffset = 28;

}  // namespace

FileEntryHeader decodeFileEntryHeader(const uint8_t (&bytes)[FILE_ENTRY_HEADER_SIZE]) {
  FileEntryHeader header;
  header.mode = readLe16(bytes + kModeOffset);
  header.hardwareKind = bytes[kHardwareKindOffset];
  header.size = readLe32(bytes + kSizeOffset);
  header.nameLength = readLe16(bytes + kNameLengthOffset);
  return header;
}

void encodeFileEntryHeader(const FileEntryHeader& header, uint8_t (&bytes)[FILE_ENTRY_HEADER_SIZE]) {
  memset(bytes, 0, sizeof bytes);
  storeLe16(bytes + kModeOffset, header.mode);
  bytes[kHardwareKindOffset] = header.hardwareKind;
  storeLe32(bytes + kSizeOffset, header.size);
  storeLe16(bytes + kNameLengthOffset, header.nameLength);
}
