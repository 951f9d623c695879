// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The paths analysed last, offered again beside the path box: most recent first, each once,
// at most ten.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace runemeter {

/// How many recent paths are kept.
inline constexpr std::size_t kMaxRecentPaths = 10;

/// The list with path put in front. An equal entry further down goes (paths that differ only
/// in trailing separators are equal; the new spelling stays), and the list keeps at most
/// kMaxRecentPaths entries. A blank path leaves the list as it is.
[[nodiscard]] std::vector<std::u16string> WithRecentPath(std::vector<std::u16string> recent,
                                                         std::u16string_view path);

/// A stored list made fit for use (it may have been edited by hand): blank entries and repeats
/// dropped, the first kMaxRecentPaths kept, in their order.
[[nodiscard]] std::vector<std::u16string> CleanRecentPaths(
    const std::vector<std::u16string>& stored);

}  // namespace runemeter
