// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "profile/profile.h"
#include "results/inspector_text.h"
#include "suite/resource_strings.h"

namespace runemeter {
namespace {

// The inspector's texts for each kind of row: what is drawn large, the heading, the bytes, the
// names of each code point, the glyph lines, and what is left out where there is nothing to draw.
TEST(InspectorText, RowKinds) {
    struct Case {
        const char* what;
        std::u16string rowText;
        std::u16string heading, drawn, utf8, utf16;
        std::vector<InspectorLine> namedLines;  // lines that must be there
        bool glyphLines;                        // "list font has / lacks" and "drawn with"
    };
    const std::vector<Case> cases{
        {"letter",
         characterRowText(u'A'),
         u"A",
         u"A",
         u"41",
         u"0041",
         {{u"Code point", u"U+0041"},
          {u"Unicode name", u"LATIN CAPITAL LETTER A"},
          {u"General category", u"Lu (Uppercase_Letter)"},
          {u"Script", u"Latin"},
          {u"Unicode block", u"Basic_Latin"}},
         true},
        {"control code",
         characterRowText(1),
         u"<control-0001>",
         u"",
         u"01",
         u"0001",
         {{u"Unicode name", u"<control-0001>"}, {u"", u"A control code: it has no glyph to show."}},
         false},
        {"lone surrogate",
         characterRowText(0xD800),
         u"<lead surrogate-D800>",
         u"",
         u"none: a lone surrogate has no UTF-8 form",
         u"D800",
         {{u"General category", u"Cs (Surrogate)"}},
         false},
        {"emoji as a code point",
         codePointRowText(0x1F600),
         u"\U0001F600",
         u"\U0001F600",
         u"F0 9F 98 80",
         u"D83D DE00",
         {{u"Code point", u"U+1F600"}, {u"Unicode name", u"GRINNING FACE"}},
         true},
        {"cluster",
         clusterRowText(u"e\u0301\u0323"),
         u"e\u0301\u0323",
         u"e\u0301\u0323",
         u"65 CC 81 CC A3",
         u"0065 0301 0323",
         {{u"Code points", u"U+0065 U+0301 U+0323"},
          {u"U+0065", u"LATIN SMALL LETTER E"},
          {u"U+0301", u"COMBINING ACUTE ACCENT"},
          {u"U+0323", u"COMBINING DOT BELOW"}},
         true},
    };
    const GlyphFacts glyphs{u"Serif", false, u"Sans"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const InspectorText text = inspectorText(c.rowText, 1234, 4936, {u'.', u','}, glyphs);
        EXPECT_EQ(text.heading, c.heading);
        EXPECT_EQ(text.drawn, c.drawn);
        std::vector<InspectorLine> expected = c.namedLines;
        expected.push_back({u"UTF-8 bytes", c.utf8});
        expected.push_back({u"UTF-16 code units", c.utf16});
        expected.push_back({u"Frequency", u"1,234"});
        for (const InspectorLine& line : expected) {
            EXPECT_NE(std::find(text.lines.begin(), text.lines.end(), line), text.lines.end())
                << std::string(line.value.begin(), line.value.end());
        }
        const InspectorLine lacks{u"", u"The list font (Serif) has no glyph for it."};
        const InspectorLine drawnWith{u"Drawn with", u"Sans"};
        EXPECT_EQ(std::count(text.lines.begin(), text.lines.end(), lacks), c.glyphLines ? 1 : 0);
        EXPECT_EQ(std::count(text.lines.begin(), text.lines.end(), drawnWith),
                  c.glyphLines ? 1 : 0);
        // Control codes show no share, as the list does not.
        const bool share = std::count(text.lines.begin(), text.lines.end(),
                                      InspectorLine{u"Share in per cent", u"25.00%"}) == 1;
        EXPECT_EQ(share, c.what != std::string("control code"));
        EXPECT_EQ(drawnCodePoints(c.rowText).empty(), c.drawn.empty());
    }
}

}  // namespace
}  // namespace runemeter
