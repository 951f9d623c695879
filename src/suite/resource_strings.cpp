// SPDX-License-Identifier: GPL-3.0-or-later
#include "suite/resource_strings.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <mutex>
#include <optional>

#include "suite/number_format.h"

namespace runemeter {

namespace {

// English texts of our own. The line-break and total labels must never begin with a digit:
// the copy text tells character rows from label rows by their first character. The table's size
// is counted from its rows, so that adding a string cannot leave a default row at its end.
constexpr auto kTable = std::to_array<ResourceStringEntry>({
    {ResId::VTTab, "VTTab", u"Tab"},
    {ResId::VTLineFeed, "VTLineFeed", u"Line feed"},
    {ResId::VTCarriageReturn, "VTCarriageReturn", u"Carriage return"},
    {ResId::VTSpace, "VTSpace", u"Space"},
    {ResId::VTEnter, "VTEnter", u"Line breaks"},
    {ResId::VTTotal, "VTTotal", u"Total"},
    {ResId::VTHelpFileIs, "VTHelpFileIs", u"The help file is %s."},
    {ResId::VTClosingATool, "VTClosingATool", u"Closing %s."},
    {ResId::VTAnsi, "VTAnsi", u"ANSI"},
    {ResId::VTUnicode, "VTUnicode", u"Unicode"},
    {ResId::VTUnicodeBigEndian, "VTUnicodeBigEndian", u"Unicode big-endian"},
    {ResId::VTUTF8, "VTUTF8", u"UTF-8"},
    {ResId::VTBasedOnNmanyFiles, "VTBasedOnNmanyFiles", u"based on %.0f files"},
    {ResId::VTLetter, "VTLetter", u"letter"},
    {ResId::VTDigit, "VTDigit", u"digit"},
    {ResId::VTPunctuation, "VTPunctuation", u"punctuation"},
    {ResId::VTNoFontHasCharacter, "VTNoFontHasCharacter", u"no installed font has this character"},
    {ResId::VTUnsignedAutomatic, "VTUnsignedAutomatic", u"Automatic (UTF-8 when valid, else ANSI)"},
    {ResId::VTUnitUtf16, "VTUnitUtf16", u"UTF-16 code units"},
    {ResId::VTUnitCodePoint, "VTUnitCodePoint", u"code points"},
    {ResId::VTUnitGrapheme, "VTUnitGrapheme", u"grapheme clusters (as seen)"},
    {ResId::VTNormaliseNone, "VTNormaliseNone", u"none"},
    {ResId::VTFileIsEmpty, "VTFileIsEmpty", u"The file %s is empty."},
    {ResId::VTFailedToRead, "VTFailedToRead", u"Cannot read the file %s."},
    {ResId::VTClipboardHasText, "VTClipboardHasText", u"The results are on the clipboard as text."},
    {ResId::VTNoHelpFile, "VTNoHelpFile", u"No help file was found. It was looked for at:\n%s"},
    {ResId::VTArchiveDamaged, "VTArchiveDamaged", u"The archive %s is damaged and was skipped: %s"},
    {ResId::VTMemberDamaged, "VTMemberDamaged",
     u"The member %s of the archive %s is damaged and was skipped: %s"},
    {ResId::VTLanguageFileRefused, "VTLanguageFileRefused",
     u"The language file %s was refused: its version is %s, and this program needs version %s. "
     u"Messages stay in English."},
    {ResId::VTShippedLanguageBeside, "VTShippedLanguageBeside",
     u"Your changed language file %s was kept; the newer one that comes with the program is "
     u"beside it as %s."},
    {ResId::VTNoSuchPath, "VTNoSuchPath", u"\"%s\" is neither a file nor a folder."},
    {ResId::VTNoPathGiven, "VTNoPathGiven", u"Type or choose a file or a folder first."},
    {ResId::VTSettingsKept, "VTSettingsKept",
     u"The settings file could not be read, so the defaults are in use; it was kept as %s."},
    {ResId::VTClosingAfterFile, "VTClosingAfterFile", u"Closing when the file in hand is done..."},
    {ResId::VTChooseFile, "VTChooseFile", u"Choose a file"},
    {ResId::VTChooseFolder, "VTChooseFolder", u"Choose a folder"},
    {ResId::VTPathToolTip, "VTPathToolTip", u"The file or folder to analyse"},
    {ResId::VTCharactersShown, "VTCharactersShown", u"[%s of %s characters shown]"},
    {ResId::VTSettingsNotSaved, "VTSettingsNotSaved", u"The settings could not be saved:\n%s"},
    {ResId::VTNoHelpOpener, "VTNoHelpOpener",
     u"No program on this desktop opens the help file\n%s"},
    {ResId::VTErrorTitle, "VTErrorTitle", u"Error"},
    {ResId::VTUnexpectedError, "VTUnexpectedError", u"An unexpected error occurred."},
    {ResId::VTNoErrorMessage, "VTNoErrorMessage", u"(no message)"},
    {ResId::VTMayContinue, "VTMayContinue",
     u"You can continue, but the program may not work as expected. Save your work and restart it "
     u"soon."},
    {ResId::VTCannotContinue, "VTCannotContinue", u"The program cannot continue and will end."},
    {ResId::VTQuit, "VTQuit", u"&Quit"},
    {ResId::VTContinue, "VTContinue", u"&Continue"},
    {ResId::VTReportSavedAs, "VTReportSavedAs", u"The error report was saved as:"},
    {ResId::VTReportNotSaved, "VTReportNotSaved", u"The error report could not be saved."},
    {ResId::VTInterfaceLanguage, "VTInterfaceLanguage", u"Interface language: %s"},
    {ResId::VTSettingsNotAppliedHere, "VTSettingsNotAppliedHere",
     u"The settings were not applied: %s. The controls keep their defaults."},
    {ResId::VTSettingsNotApplied, "VTSettingsNotApplied",
     u"The settings file %s was not applied: %s. The controls keep their defaults."},
    {ResId::VTAndMore, "VTAndMore", u"%s (and %s more)"},
    {ResId::VTSettingsUnreadable, "VTSettingsUnreadable",
     u"The settings file %s could not be read (%s). The controls keep their defaults."},
    {ResId::VTSettingsUnsaved, "VTSettingsUnsaved",
     u"The settings could not be saved (%s). The previous settings file is unchanged."},
    {ResId::VTRunFailed, "VTRunFailed",
     u"The run stopped on an unexpected error (%s); the list shows what was counted before it."},
    {ResId::VTUnicodeVersion, "VTUnicodeVersion", u"Character data: %s"},
    {ResId::VTUnsignedLooksUtf8, "VTUnsignedLooksUtf8",
     u"Some files without a signature look like UTF-8 but were read as ANSI; choose %s to read "
     u"them as UTF-8."},
    {ResId::VTInspectorCodePoint, "VTInspectorCodePoint", u"Code point"},
    {ResId::VTInspectorCodePoints, "VTInspectorCodePoints", u"Code points"},
    {ResId::VTInspectorName, "VTInspectorName", u"Unicode name"},
    {ResId::VTInspectorCategory, "VTInspectorCategory", u"General category"},
    {ResId::VTInspectorScript, "VTInspectorScript", u"Script"},
    {ResId::VTInspectorBlock, "VTInspectorBlock", u"Unicode block"},
    {ResId::VTInspectorUtf8, "VTInspectorUtf8", u"UTF-8 bytes"},
    {ResId::VTInspectorUtf16, "VTInspectorUtf16", u"UTF-16 code units"},
    {ResId::VTInspectorFrequency, "VTInspectorFrequency", u"Frequency"},
    {ResId::VTInspectorShare, "VTInspectorShare", u"Share in per cent"},
    {ResId::VTListFontHasGlyph, "VTListFontHasGlyph", u"The list font (%s) has a glyph for it."},
    {ResId::VTListFontLacksGlyph, "VTListFontLacksGlyph",
     u"The list font (%s) has no glyph for it."},
    {ResId::VTInspectorDrawnWith, "VTInspectorDrawnWith", u"Drawn with"},
    {ResId::VTNoInstalledFont, "VTNoInstalledFont", u"no installed font has it"},
    {ResId::VTNoUtf8Form, "VTNoUtf8Form", u"none: a lone surrogate has no UTF-8 form"},
    {ResId::VTControlNotDrawn, "VTControlNotDrawn", u"A control code: it has no glyph to show."},
    {ResId::VTMissingRows, "VTMissingRows", u"Rows missing from the list font: %s"},
    {ResId::VTInspectorHelp, "VTInspectorHelp",
     u"The character inspector: the selected row's character drawn large in the list font and "
     u"in the font that draws it, with its code points, Unicode names, category, script, block, "
     u"bytes and count. F9 shows or hides it."},
    {ResId::VTMissingFilterHelp, "VTMissingFilterHelp",
     u"Shows only the rows whose character the list font has no glyph for (a cluster when any "
     u"of its code points is missing). Copy copies the rows shown."},
    {ResId::VTNoRowSelected, "VTNoRowSelected", u"Select a row to see its character here."},
    {ResId::VTGroupByScript, "VTGroupByScript", u"script"},
    {ResId::VTGroupByBlock, "VTGroupByBlock", u"block"},
    {ResId::VTGroupByCategory, "VTGroupByCategory", u"general category"},
    {ResId::VTGroupColumn, "VTGroupColumn", u"group"},
    {ResId::VTDistinctColumn, "VTDistinctColumn", u"characters"},
    {ResId::VTFrequencyColumn, "VTFrequencyColumn", u"frequency"},
    {ResId::VTShareColumn, "VTShareColumn", u"share %"},
    {ResId::VTGroupChartTitle, "VTGroupChartTitle", u"Frequency by %s"},
    {ResId::VTCharacterChartTitle, "VTCharacterChartTitle", u"The %s most frequent characters"},
    {ResId::VTCharacterAxis, "VTCharacterAxis", u"character"},
    {ResId::VTSaveAsTitle, "VTSaveAsTitle", u"Save the result as"},
    {ResId::VTFilterCopyText, "VTFilterCopyText", u"Copy text, tab-separated (*.tsv *.txt)"},
    {ResId::VTFilterTable, "VTFilterTable",
     u"Table with the properties, tab-separated (*.tsv *.txt)"},
    {ResId::VTFilterCsv, "VTFilterCsv", u"Table with the properties, CSV (*.csv)"},
    {ResId::VTFilterJson, "VTFilterJson", u"JSON (*.json)"},
    {ResId::VTFilterPng, "VTFilterPng", u"Overview charts, PNG picture (*.png)"},
    {ResId::VTFilterSvg, "VTFilterSvg", u"Overview charts, SVG drawing (*.svg)"},
    {ResId::VTReplaceFile, "VTReplaceFile", u"%s already exists. Replace it?"},
    {ResId::VTCannotSave, "VTCannotSave",
     u"Cannot save %s: %s. A file already there is left as it was."},
    {ResId::VTSavedAs, "VTSavedAs", u"Saved as %s."},
    {ResId::VTNothingToSave, "VTNothingToSave",
     u"There is nothing to save yet: analyse a file or a folder first."},
    {ResId::VTGroupSelected, "VTGroupSelected",
     u"%s characters of %s are selected in the results list."},
    {ResId::VTOverviewHelp, "VTOverviewHelp",
     u"The characters of the last run gathered into groups: how many distinct characters of each "
     u"group occurred, how often, and their share of all characters. Click a group, or press Enter "
     u"on it, to select its characters in the results list. Below: the largest groups and the most "
     u"frequent characters as bar charts."},
    {ResId::VTGroupByHelp, "VTGroupByHelp",
     u"What the characters are gathered by: their script, their Unicode block or their general "
     u"category."},
    {ResId::VTSaveAsHelp, "VTSaveAsHelp",
     u"Saves the result in a file: the copy text, the table with the properties (tab-separated or "
     u"CSV), JSON, or the overview's charts as a picture."},
    {ResId::VTSaveWhileRunning, "VTSaveWhileRunning",
     u"A run is in progress: save when it has ended, or stop it first (Esc)."},
    {ResId::VTNoRecentPaths, "VTNoRecentPaths", u"No path analysed yet"},
    {ResId::VTRecentPathsWhatsThis, "VTRecentPathsWhatsThis",
     u"The last ten files and folders analysed, the latest first (Alt+Down in the path box). "
     u"Choosing one puts it in the path box; Analyse runs it."},
    {ResId::VTPathBoxWhatsThis, "VTPathBoxWhatsThis",
     u"The file or folder to analyse. Type it, choose it with the button beside the box, take "
     u"one of the last ten with the arrow button (Alt+Down), or drop it from the file manager "
     u"on the window: a dropped file or folder is analysed at once."},
    {ResId::VTFirstPathAnalysed, "VTFirstPathAnalysed",
     u"Of the %s paths given, only the first was analysed: the window analyses one file or "
     u"folder at a time (runemeter-cli counts several together)."},
    {ResId::VTDropWhileRunning, "VTDropWhileRunning",
     u"A run is in progress: drop again when it has ended, or stop it first (Esc)."},
    {ResId::VTAboutTitle, "VTAboutTitle", u"About %s"},
    {ResId::VTAboutVersion, "VTAboutVersion", u"version %s"},
    {ResId::VTAboutLicence, "VTAboutLicence", u"Licence: %s"},
    {ResId::VTAboutLicenceMeaning, "VTAboutLicenceMeaning",
     u"Runemeter is free software: you may run, study, share and change it under the terms of "
     u"the GNU General Public License, version 3 or any later version. It comes with no "
     u"warranty."},
});

constexpr bool tableInIdOrder() {
    for (std::size_t i = 1; i < kTable.size(); ++i) {
        if (static_cast<unsigned>(kTable[i - 1].id) >= static_cast<unsigned>(kTable[i].id)) {
            return false;
        }
    }
    return true;
}
static_assert(tableInIdOrder(), "resource string table must be sorted by id");

// Translations in force, by table index; guarded because a language change may arrive while
// a run builds its profile on another thread.
struct Translations {
    std::mutex mutex;
    std::array<std::optional<std::u16string>, kTable.size()> texts;
};

Translations& translations() {
    static Translations t;
    return t;
}

std::optional<std::size_t> indexOf(ResId id) {
    const auto it = std::lower_bound(
        kTable.begin(), kTable.end(), id, [](const ResourceStringEntry& e, ResId wanted) {
            return static_cast<unsigned>(e.id) < static_cast<unsigned>(wanted);
        });
    if (it == kTable.end() || it->id != id) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(it - kTable.begin());
}

bool isAsciiDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// A translation that would break how rows are told apart, or that is empty, is not taken.
bool acceptableTranslation(ResId id, std::u16string_view text) {
    if (text.empty()) {
        return false;
    }
    if (id == ResId::VTEnter || id == ResId::VTTotal) {
        const auto first =
            std::find_if(text.begin(), text.end(), [](char16_t c) { return c > 32; });
        if (first == text.end() || isAsciiDigit(*first)) {
            return false;
        }
    }
    return true;
}

void appendAscii(std::u16string& out, std::string_view ascii) {
    for (const char c : ascii) {
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    }
}

// Applies the separators of the format settings to a plain "[-]digits[.digits]" text.
std::u16string localiseNumber(std::string_view plain, bool group) {
    const FormatSettings& settings = Myformatsettings();
    std::u16string out;
    std::size_t pos = 0;
    if (!plain.empty() && plain.front() == '-') {
        out.push_back(u'-');
        pos = 1;
    }
    const std::size_t point = plain.find('.', pos);
    const std::string_view whole =
        plain.substr(pos, point == std::string_view::npos ? std::string_view::npos : point - pos);
    for (std::size_t i = 0; i < whole.size(); ++i) {
        if (group && settings.thousandSeparator != 0 && i > 0 && (whole.size() - i) % 3 == 0) {
            out.push_back(settings.thousandSeparator);
        }
        out.push_back(static_cast<char16_t>(whole[i]));
    }
    if (point != std::string_view::npos) {
        out.push_back(settings.decimalSeparator);
        appendAscii(out, plain.substr(point + 1));
    }
    return out;
}

std::u16string formatConversion(double value, char conversion, std::optional<int> precision) {
    if (!std::isfinite(value)) {
        return std::isnan(value) ? u"NaN" : (value < 0 ? u"-INF" : u"INF");
    }
    std::array<char, 400> buffer{};
    std::to_chars_result result{};
    if (conversion == 'g') {
        result = precision ? std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                           std::chars_format::general, std::max(*precision, 1))
                           : std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                           std::chars_format::general, 15);
    } else {
        result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                               std::chars_format::fixed, precision.value_or(2));
    }
    if (result.ec != std::errc{}) {
        return u"?";
    }
    std::string_view plain(buffer.data(), static_cast<std::size_t>(result.ptr - buffer.data()));
    // A value that rounds to zero shows no minus sign.
    if (plain.starts_with('-') && plain.find_first_not_of("-0.") == std::string_view::npos) {
        plain.remove_prefix(1);
    }
    if (plain.find_first_of("eE") != std::string_view::npos) {
        std::u16string out;
        appendAscii(out, plain);
        return out;
    }
    return localiseNumber(plain, conversion == 'n');
}

}  // namespace

std::span<const ResourceStringEntry> resourceStringTable() {
    return kTable;
}

std::u16string ResourceString(ResId id) {
    const auto index = indexOf(id);
    if (!index) {
        return {};
    }
    Translations& t = translations();
    std::lock_guard lock(t.mutex);
    if (const auto& text = t.texts[*index]) {
        return *text;
    }
    return std::u16string(kTable[*index].english);
}

void setResourceStringTranslations(std::span<const std::pair<ResId, std::u16string>> texts) {
    std::array<std::optional<std::u16string>, kTable.size()> fresh;
    for (const auto& [id, text] : texts) {
        const auto index = indexOf(id);
        if (index && acceptableTranslation(id, text)) {
            fresh[*index] = text;
        }
    }
    Translations& t = translations();
    std::lock_guard lock(t.mutex);
    t.texts = std::move(fresh);
}

const ResourceStringEntry* findResourceString(std::string_view name) {
    const auto it = std::find_if(kTable.begin(), kTable.end(),
                                 [name](const ResourceStringEntry& e) { return e.name == name; });
    return it == kTable.end() ? nullptr : &*it;
}

std::u16string formatWithStrings(std::u16string_view pattern,
                                 std::span<const std::u16string_view> args) {
    std::u16string out;
    out.reserve(pattern.size());
    std::size_t next = 0;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char16_t c = pattern[i];
        if (c == u'%' && i + 1 < pattern.size()) {
            if (pattern[i + 1] == u's') {
                // A pattern asking for more arguments than given (a faulty translation) gets
                // empty texts rather than reading past the arguments.
                if (next < args.size()) {
                    out.append(args[next]);
                }
                ++next;
                ++i;
                continue;
            }
            if (pattern[i + 1] == u'%') {
                out.push_back(u'%');
                ++i;
                continue;
            }
        }
        out.push_back(c);
    }
    return out;
}

std::u16string formatWithNumber(std::u16string_view pattern, double value) {
    std::u16string out;
    out.reserve(pattern.size() + 8);
    bool used = false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char16_t c = pattern[i];
        if (c != u'%' || i + 1 >= pattern.size()) {
            out.push_back(c);
            continue;
        }
        if (pattern[i + 1] == u'%') {
            out.push_back(u'%');
            ++i;
            continue;
        }
        // "%" ["." digits] conversion
        std::size_t j = i + 1;
        std::optional<int> precision;
        if (pattern[j] == u'.') {
            int p = 0;
            std::size_t k = j + 1;
            while (k < pattern.size() && isAsciiDigit(pattern[k]) && k - j <= 2) {
                p = p * 10 + (pattern[k] - u'0');
                ++k;
            }
            if (k == j + 1) {
                out.push_back(c);
                continue;
            }
            precision = std::min(p, 20);
            j = k;
        }
        if (j >= pattern.size()) {
            out.push_back(c);
            continue;
        }
        const char16_t conversion = pattern[j];
        if (conversion != u'f' && conversion != u'g' && conversion != u'n' && conversion != u's') {
            out.push_back(c);
            continue;
        }
        // Only the first conversion takes the number; a faulty translation with more gets
        // nothing for the others.
        if (!used) {
            const char kind = conversion == u's' ? 'g' : static_cast<char>(conversion);
            out += formatConversion(value, kind, precision);
            used = true;
        }
        i = j;
    }
    return out;
}

}  // namespace runemeter
