#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "profile/profile.h"
#include "results/row_fields.h"
#include "suite/number_format.h"

namespace runemeter {
namespace {

constexpr FormatSettings kEnglish{u'.', u','};

TEST(RowFields, DerivedFromTheRowText) {
    struct Case {
        const char* name;
        std::u16string rowText;
        std::u16string_view codeField;
        std::u16string_view characterField;
        bool numeric;
        std::int64_t codeValue;
        bool controlRow;
    };
    const std::vector<Case> cases{
        {"letter", u" 65 A", u"65", u"A", true, 65, false},
        {"tab row: name trimmed", u"  9  Tab", u"9", u"Tab", true, 9, true},
        {"name with blanks", u" 10  Line feed", u"10", u"Line feed", true, 10, true},
        {"control character trimmed away", u"  1 \u0001", u"1", u"", true, 1, true},
        {"space row is no control row", u" 32  Space", u"32", u"Space", true, 32, false},
        {"no-break space is kept", u"160 \u00A0", u"160", u"\u00A0", true, 160, false},
        {"five digits", u"65535 \uFFFF", u"65535", u"\uFFFF", true, 65535, false},
        {"label without blank: whole text twice", u"Total", u"Total", u"Total", false, 0, false},
        {"label with blank: split at it", u"Line breaks", u"Line", u"breaks", false, 0, false},
        {"label without blank is not trimmed", u" Total\u0001", u"Total\u0001", u"Total\u0001",
         false, 0, false},
        {"leading digits only", u"12ab x", u"12ab", u"x", false, 12, false},
        {"empty text", u"", u"", u"", false, 0, false},
        {"only blanks", u"    ", u"", u"", false, 0, false},
        {"too many digits", u"99999999999999999999 x", u"99999999999999999999", u"x", false,
         std::numeric_limits<std::int64_t>::max(), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RowFields f = deriveRowFields(c.rowText);
        EXPECT_EQ(f.codeField, c.codeField);
        EXPECT_EQ(f.characterField, c.characterField);
        EXPECT_EQ(f.numeric, c.numeric);
        EXPECT_EQ(f.codeValue, c.codeValue);
        EXPECT_EQ(f.controlRow, c.controlRow);
    }
}

TEST(RowFields, Colours) {
    struct Case {
        const char* name;
        std::u16string rowText;
        std::int64_t frequency;
        bool selected;
        RowColour expected;
    };
    const std::vector<Case> cases{
        {"code 0", characterRowText(0), 1, false, RowColour::Red},
        {"code 9", characterRowText(9), 1, false, RowColour::Red},
        {"code 31", characterRowText(31), 1, false, RowColour::Red},
        {"code 32", characterRowText(32), 1, false, RowColour::WindowText},
        {"code 65", characterRowText(65), 1, false, RowColour::WindowText},
        {"code 127", characterRowText(127), 1, false, RowColour::WindowText},
        {"code 128", characterRowText(128), 1, false, RowColour::Blue},
        {"code 255", characterRowText(255), 1, false, RowColour::Blue},
        {"code 256", characterRowText(256), 1, false, RowColour::Blue},
        {"code 257", characterRowText(257), 1, false, RowColour::WindowText},
        {"code 65535", characterRowText(65535), 1, false, RowColour::WindowText},
        {"frequency 0 wins over red", characterRowText(13), 0, false, RowColour::GrayText},
        {"frequency 0 wins over blue", characterRowText(200), 0, false, RowColour::GrayText},
        {"capital that did not occur", characterRowText(66), 0, false, RowColour::GrayText},
        {"line-break row", u"Line breaks", 3, false, RowColour::Red},
        {"line-break row, none", u"Line breaks", 0, false, RowColour::GrayText},
        {"total row", u"Total", 10, false, RowColour::Red},
        {"selected red row", characterRowText(9), 1, true, RowColour::Window},
        {"selected grey row", characterRowText(66), 0, true, RowColour::Window},
        {"selected total row", u"Total", 5, true, RowColour::Window},
        {"negative frequency is not grey", characterRowText(65), -1, false, RowColour::WindowText},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(rowColour(deriveRowFields(c.rowText), c.frequency, c.selected), c.expected);
    }
}

TEST(RowFields, CharacterTypes) {
    struct Case {
        const char* name;
        char16_t unit;
        CharacterType expected;
    };
    const std::vector<Case> cases{
        {"Lu", u'A', CharacterType::Letter},
        {"Ll", u'z', CharacterType::Letter},
        {"Lt", u'\u01C5', CharacterType::Letter},
        {"Lm", u'\u02B0', CharacterType::Letter},
        {"Lo", u'\u4E2D', CharacterType::Letter},
        {"Ll beyond ASCII", u'\u00E9', CharacterType::Letter},
        {"Nd ASCII", u'7', CharacterType::Digit},
        {"Nd Arabic-Indic", u'\u0663', CharacterType::Digit},
        {"No superscript two", u'\u00B2', CharacterType::None},
        {"Nl roman numeral", u'\u216B', CharacterType::None},
        {"Pc", u'_', CharacterType::Punctuation},
        {"Pd", u'-', CharacterType::Punctuation},
        {"Ps", u'(', CharacterType::Punctuation},
        {"Pe", u']', CharacterType::Punctuation},
        {"Pi", u'\u00AB', CharacterType::Punctuation},
        {"Pf", u'\u00BB', CharacterType::Punctuation},
        {"Po", u'"', CharacterType::Punctuation},
        {"Sm", u'+', CharacterType::None},
        {"Sc", u'$', CharacterType::None},
        {"Zs", u' ', CharacterType::None},
        {"Zs no-break space", u'\u00A0', CharacterType::None},
        {"Cc", u'\u0001', CharacterType::None},
        {"high surrogate", char16_t{0xD800}, CharacterType::None},
        {"low surrogate", char16_t{0xDFFF}, CharacterType::None},
        {"unassigned", u'\uFFFF', CharacterType::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(classifyCodeUnit(c.unit), c.expected);
    }
    EXPECT_EQ(characterType(u"A"), CharacterType::Letter);
    EXPECT_EQ(characterType(u"AB"), CharacterType::None);
    EXPECT_EQ(characterType(u""), CharacterType::None);
}

TEST(RowFields, ShareBoundaries) {
    struct Case {
        const char* name;
        std::u16string rowText;
        std::int64_t frequency;
        std::int64_t total;
        std::optional<long double> expected;
    };
    const std::vector<Case> cases{
        {"1 in 10000 is shown", characterRowText(65), 1, 10000, 0.01L},
        {"3 in 30000 is shown", characterRowText(65), 3, 30000, 0.01L},
        {"1 in 20000 is not", characterRowText(65), 1, 20000, std::nullopt},
        {"1 in 10001 is not", characterRowText(65), 1, 10001, std::nullopt},
        {"120 in 1000", characterRowText(65), 120, 1000, 12.0L},
        {"all of them", characterRowText(32), 5, 5, 100.0L},
        {"total beyond 32 bits", characterRowText(97), 1000000000, 4000000000, 25.0L},
        {"no total", characterRowText(65), 1, 0, std::nullopt},
        {"negative total", characterRowText(65), 1, -5, std::nullopt},
        {"control row", characterRowText(9), 500, 1000, std::nullopt},
        {"label row", u"Total", 1000, 1000, std::nullopt},
        {"frequency 0", characterRowText(66), 0, 1000, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(shownShare(deriveRowFields(c.rowText), c.frequency, c.total), c.expected);
    }
}

TEST(RowFields, ColumnTexts) {
    struct Case {
        const char* name;
        std::u16string rowText;
        std::int64_t frequency;
        std::int64_t total;
        bool selected;
        RowColumnTexts expected;
    };
    const std::vector<Case> cases{
        {"letter A",
         characterRowText(65),
         120,
         1000,
         false,
         {u"65", u"A", u"letter", u"12.00%", u"120", RowColour::WindowText}},
        {"tab",
         characterRowText(9),
         7,
         1000,
         false,
         {u"9", u"Tab", u"", u"", u"7", RowColour::Red}},
        {"code 1",
         characterRowText(1),
         2,
         1000,
         false,
         {u"1", u"", u"", u"", u"2", RowColour::Red}},
        {"space",
         characterRowText(32),
         250,
         1000,
         false,
         {u"32", u"Space", u"", u"25.00%", u"250", RowColour::WindowText}},
        {"digit",
         characterRowText(u'5'),
         1,
         3,
         false,
         {u"53", u"5", u"digit", u"33.33%", u"1", RowColour::WindowText}},
        {"punctuation, blue",
         characterRowText(0xBF),
         2,
         3,
         false,
         {u"191", u"\u00BF", u"punctuation", u"66.67%", u"2", RowColour::Blue}},
        {"capital that did not occur",
         characterRowText(66),
         0,
         1000,
         false,
         {u"66", u"B", u"letter", u"", u"", RowColour::GrayText}},
        {"1 in 20000: frequency without share",
         characterRowText(u'x'),
         1,
         20000,
         false,
         {u"120", u"x", u"letter", u"", u"1", RowColour::WindowText}},
        {"lone surrogate has no type",
         characterRowText(0xDC00),
         1,
         4,
         false,
         {u"56320", std::u16string(1, char16_t{0xDC00}), u"", u"25.00%", u"1",
          RowColour::WindowText}},
        {"line-break label shown whole",
         u"Line breaks",
         3,
         1000,
         false,
         {u"", u"Line breaks", u"", u"", u"3", RowColour::Red}},
        {"total with grouping",
         u"Total",
         1234567,
         1234567,
         false,
         {u"", u"Total", u"", u"", u"1,234,567", RowColour::Red}},
        {"selected",
         characterRowText(9),
         7,
         1000,
         true,
         {u"9", u"Tab", u"", u"", u"7", RowColour::Window}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RowColumnTexts t =
            rowColumnTexts(c.rowText, c.frequency, c.total, c.selected, kEnglish);
        EXPECT_EQ(t.code, c.expected.code);
        EXPECT_EQ(t.character, c.expected.character);
        EXPECT_EQ(t.type, c.expected.type);
        EXPECT_EQ(t.share, c.expected.share);
        EXPECT_EQ(t.frequency, c.expected.frequency);
        EXPECT_EQ(t.colour, c.expected.colour);
    }
}

TEST(RowFields, TextPositionsFollowTheSectionEdges) {
    const int left[5] = {0, 50, 150, 250, 300};
    const int width[5] = {50, 100, 100, 50, 80};
    const RowTextPositions p = rowTextPositions(left, width, 14, 30, 20);
    EXPECT_EQ(p.code, 50 - 20 - 14);
    EXPECT_EQ(p.character, 52);
    EXPECT_EQ(p.type, 152);
    EXPECT_EQ(p.share, 300 - 2 - 30);
    EXPECT_EQ(p.frequency, 300 + 80 - 2 - 20);

    // A dragged border moves the texts with it.
    const int movedLeft[5] = {0, 90, 190, 290, 340};
    const int movedWidth[5] = {90, 100, 100, 50, 120};
    const RowTextPositions q = rowTextPositions(movedLeft, movedWidth, 14, 30, 20);
    EXPECT_EQ(q.code, 56);
    EXPECT_EQ(q.share, 308);
    EXPECT_EQ(q.frequency, 438);
}

}  // namespace
}  // namespace runemeter
