#include "support/package_builder.h"

#include <zlib.h>

#include "files_payload.h"
#include "le_encode.h"
#include "package_build.h"

namespace testpkg {

std::string le16(uint16_t value) {
  std::string out;
  appendLe16(out, value);
  return out;
}

std::string le32(uint32_t value) {
  std::string out;
  appendLe32(out, value);
  return out;
}

std::string part(uint16_t type, const std::string& data) {
  return le16(type) + le32(uint32_t(data.size())) + data;
}

std::string packageFile(const std::string& parts, uint32_t magic) {
  return le32(magic) + le32(uint32_t(parts.size())) + parts;
}

std::string headerData(const std::string& name, Version version, uint32_t buildTime) {
  return headerData(name, version, buildTime, 0).substr(0, 32);
}

std::string headerData(const std::string& name, Version version, uint32_t buildTime, uint32_t flags) {
  PackageDescription description;
  description.name = name;
  description.version = version;
  description.buildTime = buildTime;
  description.flags = flags;
  return headerPartData(description);
}

std::string refListData(const std::vector<DependencyEntry>& entries) { return refListPartData(entries); }

std::string fileEntry(uint16_t mode, const std::string& name, const std::string& data,
                      uint8_t hardwareKind) {
  TreeEntry entry;
  entry.name = name;
  entry.mode = mode;
  entry.size = data.size();
  entry.hardwareKind = hardwareKind;
  std::string header, error;
  fileEntryHeader(entry, header, error);
  return header + data;
}

std::string compress(const std::string& data) {
  uLongf size = compressBound(data.size());
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(&out[0]), &size, reinterpret_cast<const Bytef*>(data.data()),
            data.size(), Z_BEST_COMPRESSION);
  out.resize(size);
  return out;
}

std::vector<uint8_t> fromHex(const std::string& hex) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(uint8_t(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

}  // namespace testpkg
