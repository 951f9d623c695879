#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "profile/profile.h"
#include "results/column_geometry.h"
#include "results/row_fields.h"
#include "suite/number_format.h"

namespace runemeter {
namespace {

// A font as advances: digits, other Latin text, CJK and Hangul (two columns wide).
struct SyntheticFont {
    const char* name;
    int digit, latin, wide;
    TextWidth measure() const {
        return [f = *this](std::u16string_view text) {
            int width = 0;
            for (const char16_t c : text) {
                width += c >= u'0' && c <= u'9' ? f.digit : c >= 0x2E80 ? f.wide : f.latin;
            }
            return width;
        };
    }
};

// Rows of a large corpus: five-digit codes, wide characters, a nine-digit total.
const std::vector<ProfileRow> kRows{{u"   65 A", 12'475},     {u"  255 \u00ff", 3},
                                    {u"20013 \u4e2d", 9'876}, {u"44032 \uac00", 177'408'000},
                                    {u"65535 \uffff", 1},     {u"   46 .", 5},
                                    {u"Line breaks", 12},     {u"Total", 177'430'372}};

TEST(ColumnGeometry, NoTextIsCutOrTouchesItsNeighbour) {
    const SyntheticFont fonts[] = {{"10 pt", 7, 7, 13},
                                   {"14 pt", 10, 9, 19},
                                   {"wide digits at 24 pt", 19, 12, 32},
                                   {"tiny", 3, 3, 6}};
    const FormatSettings formats[] = {{u'.', u','}, {u',', u'.'}, {u'.', 0}, {u',', u'\u00a0'}};
    for (const SyntheticFont& font : fonts) {
        for (const FormatSettings& format : formats) {
            for (const int viewWidth : {0, 900}) {
                SCOPED_TRACE(std::string(font.name) + ", separator " +
                             std::to_string(int(format.thousandSeparator)) + ", view " +
                             std::to_string(viewWidth));
                const TextWidth width = font.measure();
                const std::array<int, 5> minimum = minimumSectionWidths(width, kRows, format);
                const std::array<int, 5> w =
                    laidOutSectionWidths(minimum, kDesignedSectionWidths, viewWidth);
                int left[5];
                int section[5];
                for (int i = 0, x = 0; i < 5; x += w[std::size_t(i)], ++i) {
                    left[i] = x;
                    section[i] = w[std::size_t(i)];
                    EXPECT_GE(section[i], kDesignedMinimumWidths[std::size_t(i)]);
                }
                EXPECT_GE(left[4] + section[4], viewWidth);
                for (const ProfileRow& row : kRows) {
                    SCOPED_TRACE(::testing::PrintToString(row.text));
                    const RowColumnTexts t = rowColumnTexts(row.text, row.frequency,
                                                            kRows.back().frequency, false, format);
                    const std::u16string texts[5] = {t.code, t.character, t.type, t.share,
                                                     t.frequency};
                    int widths[5];
                    for (int i = 0; i < 5; ++i) {
                        widths[i] = width(texts[i]);
                    }
                    const RowTextPositions p =
                        rowTextPositions(left, section, widths[0], widths[3], widths[4]);
                    const int x[5] = {p.code, p.character, p.type, p.share, p.frequency};
                    int previousEnd = 0;
                    for (int i = 0; i < 5; ++i) {
                        if (texts[i].empty()) {
                            continue;
                        }
                        SCOPED_TRACE("column " + std::to_string(i));
                        // Inside its own section, and at least 2 px after the text before it.
                        EXPECT_GE(x[i], left[i]);
                        EXPECT_LE(x[i] + widths[i], left[i] + section[i]);
                        EXPECT_GE(x[i], previousEnd + 2);
                        previousEnd = x[i] + widths[i];
                    }
                }
            }
        }
    }
}

TEST(ColumnGeometry, TheTypeSectionTakesTheRoomAndDraggedWidthsStay) {
    const std::array<int, 5> minimum{60, 100, 90, 55, 100};
    struct Case {
        const char* name;
        std::array<int, 5> chosen;
        int viewWidth;
        std::array<int, 5> expected;
    };
    const Case cases[] = {
        {"narrow view: minimums win over the designed widths",
         kDesignedSectionWidths,
         300,
         {60, 100, 100, 55, 100}},
        {"wide view: Type takes the rest", kDesignedSectionWidths, 600, {60, 100, 285, 55, 100}},
        {"a dragged width stays", {50, 180, 100, 50, 200}, 0, {60, 180, 100, 55, 200}},
        {"dragged below the minimum: the minimum", {10, 10, 10, 10, 10}, 0, minimum},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(laidOutSectionWidths(minimum, c.chosen, c.viewWidth), c.expected);
    }
}

}  // namespace
}  // namespace runemeter
