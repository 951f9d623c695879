// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "results/column_geometry.h"
#include "results/row_fields.h"

namespace runemeter {
namespace {

// Fonts as advances of a digit, other Latin text and CJK or Hangul; each text of these rows, at
// the widths laid out for them, lies inside its section and 2 px or more after the one before.
TEST(ColumnGeometry, NoTextIsCutOrTouchesItsNeighbour) {
    const std::vector<ProfileRow> rows{{u"   65 A", 12'475},           {u"20013 \u4e2d", 9'876},
                                       {u"44032 \uac00", 177'408'000}, {u"   46 .", 5},
                                       {u"Line breaks", 12},           {u"Total", 177'430'372}};
    const int fonts[][3] = {{7, 7, 13}, {10, 9, 19}, {19, 12, 32}, {3, 3, 6}};
    const FormatSettings formats[] = {{u'.', u','}, {u',', u'.'}, {u'.', 0}};
    for (const auto& font : fonts) {
        const TextWidth width = [&font](std::u16string_view text) {
            int w = 0;
            for (const char16_t c : text) {
                w += c >= u'0' && c <= u'9' ? font[0] : c >= 0x2E80 ? font[2] : font[1];
            }
            return w;
        };
        for (const FormatSettings& format : formats) {
            for (const int viewWidth : {0, 900}) {
                SCOPED_TRACE(::testing::Message() << font[0] << " " << viewWidth << " "
                                                  << int(format.thousandSeparator));
                const auto w = laidOutSectionWidths(minimumSectionWidths(width, rows, format),
                                                    kDesignedSectionWidths, viewWidth);
                int left[5] = {0, w[0], w[0] + w[1], w[0] + w[1] + w[2], w[0] + w[1] + w[2] + w[3]};
                EXPECT_EQ(viewWidth > 0, left[4] + w[4] == 900);  // a wider view is filled
                for (const ProfileRow& row : rows) {
                    const auto t =
                        rowColumnTexts(row.text, row.frequency, 177'430'372, false, format);
                    const std::u16string texts[5] = {t.code, t.character, t.type, t.share,
                                                     t.frequency};
                    const int widths[5] = {width(t.code), width(t.character), width(t.type),
                                           width(t.share), width(t.frequency)};
                    const auto p = rowTextPositions(left, w.data(), widths, false);
                    const int x[5] = {p.code, p.character, p.type, p.share, p.frequency};
                    for (int i = 0, previousEnd = -2; i < 5; ++i) {
                        if (!texts[i].empty()) {
                            SCOPED_TRACE(::testing::PrintToString(texts[i]));
                            EXPECT_GE(x[i], std::max(left[i], previousEnd + 2));
                            EXPECT_LE(x[i] + width(texts[i]), left[i] + w[std::size_t(i)]);
                            previousEnd = x[i] + width(texts[i]);
                        }
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace runemeter
