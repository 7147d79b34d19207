// How the files of a scan are split into runs of the archiver over many files at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Splits `paths` into runs, in order, of at most `maxFiles` files, `maxBytes` bytes of names
// and `maxCost` of `costs` (a file's own, none when not given; a costlier file runs alone), never
// two names that differ only in letter case in one run (the archiver would refuse the whole
// run), nor two folders that do (it would print one spelling for both). Each run holds
// positions in `paths`.
[[nodiscard]] std::vector<std::vector<size_t>> PlanRuns(const std::vector<std::wstring>& paths, size_t maxFiles,
                                                        size_t maxBytes, const std::vector<uint64_t>& costs = {},
                                                        uint64_t maxCost = UINT64_MAX);
