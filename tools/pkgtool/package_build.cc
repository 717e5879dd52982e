#include "package_build.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

#include "file_tree.h"
#include "files_payload.h"
#include "key_file.h"
#include "le_encode.h"
#include "package_signing.h"
#include "package_writer.h"
#include "pkgfile/package_reader.h"
#include "pkgfile/part_type.h"

namespace {

constexpr size_t kNameFieldSize = 16;
constexpr size_t kChunk = 65536;

std::string nameField(const std::string& name) {
  std::string field = name.substr(0, kNameFieldSize);
  field.resize(kNameFieldSize, '\0');
  return field;
}

// What one package of the file needs before writing starts.
struct PackagePlan {
  const PackageDescription* description;
  SigningMode signing;
  std::vector<TreeEntry> files;
};

bool planPackage(const PackageDescription& description, SigningMode fallback, PackagePlan& plan,
                 std::string& error) {
  plan.description = &description;
  plan.signing = description.signing.value_or(fallback);
  if (!description.filesDir) return true;
  return listTree(*description.filesDir, plan.files, error) &&
         applyHardwareRules(description.hardwareRules, description.path, plan.files, error);
}

bool planAll(const PackageDescription& description, const BuildOptions& options,
             std::vector<PackagePlan>& plans, std::string& error) {
  if (!description.isBundle()) {
    plans.resize(1);
    return planPackage(description, options.signing, plans[0], error);
  }
  const SigningMode bundleSigning = description.signing.value_or(options.signing);
  plans.resize(description.members.size());
  for (size_t i = 0; i < plans.size(); ++i)
    if (!planPackage(description.members[i], bundleSigning, plans[i], error)) return false;
  return true;
}

bool readKeys(const std::vector<PackagePlan>& plans, const BuildOptions& options, KeyFile& keys,
              std::string& error) {
  unsigned needed = 0;
  for (const PackagePlan& plan : plans) needed |= keyItemsFor(plan.signing);
  if (needed == 0) return true;
  if (options.keyFile.empty()) {
    error = "signing needs a key file (--keys FILE), or use --sign none";
    return false;
  }
  return readKeyFile(options.keyFile, keys, error, needed);
}

// Writes the parts of a file and remembers where its signatures go.
class LayoutWriter {
 public:
  explicit LayoutWriter(PackageWriter& writer) : writer_(writer) {}

  bool marker() {
    if (!firstMarker_) firstMarker_ = writer_.offset();
    return writer_.addPart(Sha256Marker, "");
  }

  bool header(int type, const PackageDescription& d) {
    headerOffset_ = writer_.offset();
    return writer_.addPart(uint16_t(type), headerPartData(d));
  }

  // In the order in which the installer takes them.
  bool metadata(const PackageDescription& d) {
    return text(Text24, d.text24) && text(Architecture, d.architecture) && text(Text2, d.text2) &&
           text(Note, d.note) && refList(Dependencies, d.deps) && refList(Provides, d.provides) &&
           refList(Conflicts, d.conflicts);
  }

  bool image(const std::optional<std::string>& path, std::string& error);

  bool files(const PackageDescription& d, const std::vector<TreeEntry>& entries,
             std::string& error) {
    if (!d.filesDir) return true;
    return writer_.beginPart(Files) && writeFilesPayload(entries, writer_, error) &&
           writer_.endPart();
  }

  bool bundleList(const std::vector<DependencyEntry>& entries) {
    return entries.empty() || writer_.addPart(BundleList, refListPartData(entries));
  }

  bool signaturePlaceholder(SigningMode mode) {
    if (mode == SigningMode::None) return true;
    SignatureSlot slot;
    slot.headerOffset = headerOffset_;
    slot.mode = mode;
    if (!writer_.beginPart(Signature)) return false;
    slot.dataOffset = writer_.offset();
    slots_.push_back(slot);
    const std::vector<uint8_t> zeros(signatureSize(mode), 0);
    return writer_.write(zeros.data(), zeros.size()) && writer_.endPart();
  }

  bool sign(const KeyFile& keys, std::string& error) {
    for (const SignatureSlot& slot : slots_)
      if (!fillSignature(writer_, slot, firstMarker_, keys, error)) return false;
    return true;
  }

 private:
  bool text(int type, const std::optional<std::string>& value) {
    return !value || writer_.addPart(uint16_t(type), *value);
  }
  bool refList(int type, const std::vector<DependencyEntry>& entries) {
    return entries.empty() || writer_.addPart(uint16_t(type), refListPartData(entries));
  }

  PackageWriter& writer_;
  std::optional<uint64_t> firstMarker_;
  uint64_t headerOffset_ = 0;
  std::vector<SignatureSlot> slots_;
};

bool LayoutWriter::image(const std::optional<std::string>& path, std::string& error) {
  if (!path) return true;
  if (!writer_.beginPart(Image)) return false;
  if (!path->empty()) {
    const int fd = open(path->c_str(), O_RDONLY);
    if (fd < 0) {
      error = *path + ": " + strerror(errno);
      return false;
    }
    std::vector<char> buffer(kChunk);
    ssize_t got;
    while ((got = read(fd, buffer.data(), buffer.size())) != 0) {
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) error = *path + ": " + strerror(errno);
      if (got < 0 || !writer_.write(buffer.data(), size_t(got))) break;
    }
    close(fd);
    if (got != 0) return false;
  }
  return writer_.endPart();
}

bool writePackage(LayoutWriter& layout, const PackagePlan& plan, std::string& error) {
  const PackageDescription& d = *plan.description;
  return (!d.sha256 || layout.marker()) && layout.header(PackageHeader, d) && layout.metadata(d) &&
         layout.image(d.image, error) && layout.files(d, plan.files, error) &&
         layout.signaturePlaceholder(plan.signing);
}

// A bundle always carries an Image part, empty unless the description names
// one: the installer keeps a bundle whole and loads its members back from
// that image; without it the members would be taken for leftovers of a
// removed bundle at the next start.
bool writeBundle(LayoutWriter& layout, const PackageDescription& d,
                 const std::vector<PackagePlan>& plans, std::string& error) {
  const std::optional<std::string> image = d.image ? d.image : std::optional<std::string>("");
  if (!((!d.sha256 || layout.marker()) && layout.header(BundleHeader, d) && layout.metadata(d) &&
        layout.image(image, error) && layout.bundleList(d.bundleList)))
    return false;
  for (const PackagePlan& plan : plans)
    if (!writePackage(layout, plan, error)) return false;
  return true;
}

bool writeFile(const PackageDescription& description, const std::vector<PackagePlan>& plans,
               const KeyFile& keys, const std::string& output, std::string& error) {
  PackageWriter writer;
  LayoutWriter layout(writer);
  const bool written =
      writer.open(output, description.untracked ? PACKAGE_MAGIC_UNTRACKED : PACKAGE_MAGIC) &&
      (description.isBundle() ? writeBundle(layout, description, plans, error)
                              : writePackage(layout, plans[0], error)) &&
      layout.sign(keys, error) && writer.finish();
  if (!written && error.empty()) error = writer.error();
  return written;
}

}  // namespace

std::string headerPartData(const PackageDescription& description) {
  std::string data = nameField(description.name);
  appendLe32(data, description.version);
  appendLe32(data, description.buildTime);
  data.append(8, '\0');
  appendLe32(data, description.flags);
  return data;
}

std::string refListPartData(const std::vector<DependencyEntry>& entries) {
  std::string data;
  appendLe16(data, uint16_t(entries.size()));
  for (const DependencyEntry& entry : entries) {
    data += nameField(entry.name);
    appendLe32(data, entry.min);
    appendLe32(data, 0);
    appendLe32(data, entry.max);
    appendLe32(data, uint32_t(entry.extra));
  }
  return data;
}

bool buildPackage(const PackageDescription& description, const BuildOptions& options,
                  std::string& error) {
  std::vector<PackagePlan> plans;
  KeyFile keys;
  return planAll(description, options, plans, error) && readKeys(plans, options, keys, error) &&
         writeFile(description, plans, keys, options.output, error);
}
