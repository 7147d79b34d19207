#include "archive/RunPlan.h"

#include <windows.h>

#include <unordered_map>

namespace {

std::wstring UpperCase(std::wstring text) {
    if (!text.empty()) CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

}  // namespace

std::vector<std::vector<size_t>> PlanRuns(const std::vector<std::wstring>& paths, size_t maxFiles, size_t maxBytes,
                                          const std::vector<uint64_t>& costs, uint64_t maxCost) {
    std::vector<std::vector<size_t>> runs;
    // Each folder of the run and each name, in upper case, to the one spelling the run has.
    std::unordered_map<std::wstring, std::wstring> spellings;
    size_t bytes = 0;
    uint64_t cost = 0;
    for (size_t i = 0; i < paths.size(); ++i) {
        const std::wstring& path = paths[i];
        const std::wstring upper = UpperCase(path);  // the same length: each prefix is its folder's key
        std::vector<size_t> ends;  // of every folder in the path, and of the path itself
        for (size_t at = path.find_first_of(L"\\/", 3); at != std::wstring::npos; at = path.find_first_of(L"\\/", at + 1)) {
            ends.push_back(at);
        }
        ends.push_back(path.size());
        const auto clashes = [&] {
            for (size_t end : ends) {
                const auto found = spellings.find(upper.substr(0, end));
                if (found != spellings.end() && (end == path.size() || found->second != path.substr(0, end))) return true;
            }
            return false;
        };
        const size_t size = path.size() * 3 + 2;  // the most its UTF-8 line can take
        const uint64_t fileCost = i < costs.size() ? costs[i] : 0;
        if (runs.empty() || runs.back().size() >= maxFiles || bytes + size > maxBytes || cost + fileCost > maxCost ||
            clashes()) {
            runs.emplace_back();
            spellings.clear();
            bytes = 0;
            cost = 0;
        }
        runs.back().push_back(i);
        for (size_t end : ends) spellings.emplace(upper.substr(0, end), path.substr(0, end));
        bytes += size;
        cost += fileCost;
    }
    return runs;
}
