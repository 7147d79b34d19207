// What a delete must prove first: that the other file of the row is a separate file that holds
// the same bytes now, read whole (an archive member through the archiver's extraction).
#pragma once

#include "common/StepControl.h"
#include "scan/Catalogue.h"

#include <string>

// True when both name one file: the same identity read now, or, where an identity is unknown,
// a file that cannot be opened while the other is held without sharing. Where it cannot be told
// (a side that cannot be opened), true: nothing is proven separate.
[[nodiscard]] bool AreOneFile(const std::wstring& a, const std::wstring& b);

// Compares the two entries' content byte for byte as it is now, a piece at a time, so memory
// stays bounded whatever the size. A member is extracted by the archiver (only under a name it
// reads literally) and must extract without error. False on any difference, on a side that
// cannot be read, and on a stop.
[[nodiscard]] bool HaveSameBytes(const std::wstring& archiverPath, const FileEntry& a, const FileEntry& b,
                                 const StepControl& control = {});
