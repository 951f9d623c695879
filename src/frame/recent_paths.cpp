// SPDX-License-Identifier: GPL-3.0-or-later
#include "frame/recent_paths.h"

#include <algorithm>

namespace runemeter {

namespace {

bool blank(std::u16string_view path) {
    return path.find_first_not_of(u" \t") == std::u16string_view::npos;
}

// "/texts/" and "/texts" name the same folder; "/" stays "/".
std::u16string_view withoutTrailingSeparators(std::u16string_view path) {
    while (path.size() > 1 && path.back() == u'/') {
        path.remove_suffix(1);
    }
    return path;
}

}  // namespace

std::vector<std::u16string> WithRecentPath(std::vector<std::u16string> recent,
                                           std::u16string_view path) {
    if (blank(path)) {
        return recent;
    }
    const std::u16string_view key = withoutTrailingSeparators(path);
    std::erase_if(recent, [key](const std::u16string& entry) {
        return withoutTrailingSeparators(entry) == key;
    });
    recent.insert(recent.begin(), std::u16string(path));
    if (recent.size() > kMaxRecentPaths) {
        recent.resize(kMaxRecentPaths);
    }
    return recent;
}

std::vector<std::u16string> CleanRecentPaths(const std::vector<std::u16string>& stored) {
    // Added from the oldest, so the first of two equal entries keeps its place; the cap drops
    // the oldest.
    std::vector<std::u16string> clean;
    for (auto entry = stored.rbegin(); entry != stored.rend(); ++entry) {
        clean = WithRecentPath(std::move(clean), *entry);
    }
    return clean;
}

}  // namespace runemeter
