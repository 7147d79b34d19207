// Catalogue entries for the members of archives, as the external archiver lists them.
#pragma once

#include "scan/Catalogue.h"
#include "scan/FolderScan.h"

#include <string>

// Appends one entry per member that the archiver lists with a CRC, when `path` is an archive
// that it can test; does nothing when context.archiverPath is empty.
void ExpandArchive(const ScanContext& context, const std::wstring& path, EntryList& entries);
