#include "support/package_builder.h"

#include <zlib.h>

namespace testpkg {

std::string le16(uint16_t value) {
  return std::string{char(value & 0xFF), char(value >> 8)};
}

std::string le32(uint32_t value) {
  return std::string{char(value & 0xFF), char(value >> 8 & 0xFF), char(value >> 16 & 0xFF),
                     char(value >> 24)};
}

std::string nameField(const std::string& name) {
  std::string field = name.substr(0, 16);
  field.resize(16, '\0');
  return field;
}

std::string part(uint16_t type, const std::string& data) {
  return le16(type) + le32(static_cast<uint32_t>(data.size())) + data;
}

std::string packageFile(const std::string& parts, uint32_t magic) {
  return le32(magic) + le32(static_cast<uint32_t>(parts.size())) + parts;
}

std::string headerData(const std::string& name, Version version, uint32_t buildTime) {
  return nameField(name) + le32(version) + le32(buildTime) + std::string(8, '\0');
}

std::string headerData(const std::string& name, Version version, uint32_t buildTime,
                       uint32_t flags) {
  return headerData(name, version, buildTime) + le32(flags);
}

std::string refListData(const std::vector<DependencyEntry>& entries) {
  std::string data = le16(static_cast<uint16_t>(entries.size()));
  for (const DependencyEntry& entry : entries)
    data += nameField(entry.name) + le32(entry.min) + le32(0) + le32(entry.max) +
            le32(static_cast<uint32_t>(entry.extra));
  return data;
}

std::string fileEntry(uint16_t mode, const std::string& name, const std::string& data,
                      uint8_t hardwareKind) {
  std::string header = le16(mode) + std::string(21, '\0');
  header += char(hardwareKind);
  header += le32(static_cast<uint32_t>(data.size()));
  header += le16(static_cast<uint16_t>(name.size()));
  return header + name + data;
}

std::string compress(const std::string& data) {
  uLongf size = compressBound(data.size());
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(&out[0]), &size, reinterpret_cast<const Bytef*>(data.data()),
            data.size(), Z_BEST_COMPRESSION);
  out.resize(size);
  return out;
}

}  // namespace testpkg
