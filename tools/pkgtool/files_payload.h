// The data of a Files part: one zlib stream of file entries back to back,
// each a 30-byte header (mode, hardware kind, size, name length), the name,
// then the data. File contents are streamed through, never held whole.
#pragma once

#include <string>
#include <vector>

#include "file_tree.h"
#include "package_writer.h"

// Writes the compressed entries into the part the writer has open.
bool writeFilesPayload(const std::vector<TreeEntry>& entries, PackageWriter& writer,
                       std::string& error);

// The 30-byte entry header followed by the name. False when the size or the
// name does not fit the header's fields.
bool fileEntryHeader(const TreeEntry& entry, std::string& header, std::string& error);
