// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/column_geometry.h"

#include <algorithm>
#include <string>

#include "results/row_fields.h"
#include "suite/resource_strings.h"

namespace runemeter {

namespace {

// How far each text is drawn from the edge it is aligned to (see rowTextPositions).
constexpr int kCodeBeforeCharacter = 20;
constexpr int kTextInset = 2;
constexpr int kTypeSection = 2;

}  // namespace

std::array<int, 5> minimumSectionWidths(const TextWidth& width, std::span<const ProfileRow> rows,
                                        const FormatSettings& settings) {
    std::array<int, 5> need{};
    need[0] = kCodeBeforeCharacter + width(u"65535") + kColumnGap;

    // The names and labels the list shows count before any run, so a run does not widen the
    // section that the window was sized for.
    int widestCharacter = 0;
    for (const ResId id : {ResId::VTTab, ResId::VTLineFeed, ResId::VTCarriageReturn, ResId::VTSpace,
                           ResId::VTEnter, ResId::VTTotal}) {
        widestCharacter = std::max(widestCharacter, width(ResourceString(id)));
    }
    std::int64_t largestFrequency = 0;
    for (const ProfileRow& row : rows) {
        // The character cell as the row shows it (a label row shows its label whole).
        const RowColumnTexts texts = rowColumnTexts(row.text, row.frequency, 0, false, settings);
        widestCharacter = std::max(widestCharacter, width(texts.character));
        largestFrequency = std::max(largestFrequency, row.frequency);
    }
    need[1] = kTextInset + widestCharacter + kColumnGap;

    int widestType = 0;
    for (const ResId id : {ResId::VTLetter, ResId::VTDigit, ResId::VTPunctuation}) {
        widestType = std::max(widestType, width(ResourceString(id)));
    }
    need[2] = kTextInset + widestType + kColumnGap;
    need[3] = kColumnGap + width(RealToDecStr(100.0L, settings) + u"%") + kTextInset;
    need[4] = kColumnGap + width(IntToDecStr(largestFrequency, settings)) + kTextInset;

    for (std::size_t i = 0; i < need.size(); ++i) {
        need[i] = std::max(need[i], kDesignedMinimumWidths[i]);
    }
    return need;
}

std::array<int, 5> laidOutSectionWidths(const std::array<int, 5>& minimum,
                                        const std::array<int, 5>& chosen, int viewWidth) {
    std::array<int, 5> widths{};
    int sum = 0;
    for (std::size_t i = 0; i < widths.size(); ++i) {
        widths[i] = std::max(minimum[i], chosen[i]);
        sum += widths[i];
    }
    if (viewWidth > sum) {
        widths[kTypeSection] += viewWidth - sum;
    }
    return widths;
}

}  // namespace runemeter
