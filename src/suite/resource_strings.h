// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Resource strings of the suite's runtime packages: one table of named texts,
// each with a numeric id by which language files refer to it.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace runemeter {

/// Numeric ids of the resource strings; stable, language files refer to them.
enum class ResId : std::uint16_t {
    VTTab = 1001,
    VTLineFeed = 1002,
    VTCarriageReturn = 1003,
    VTSpace = 1004,
    VTEnter = 1005,
    VTTotal = 1006,
    VTHelpFileIs = 1007,
    VTClosingATool = 1008,
    VTAnsi = 1101,
    VTUnicode = 1102,
    VTUnicodeBigEndian = 1103,
    VTUTF8 = 1104,
    VTBasedOnNmanyFiles = 1105,
    VTLetter = 1106,
    VTDigit = 1107,
    VTPunctuation = 1108,
    VTNoFontHasCharacter = 1109,
    VTUnsignedAutomatic = 1110,
    VTUnitUtf16 = 1111,
    VTUnitCodePoint = 1112,
    VTUnitGrapheme = 1113,
    VTNormaliseNone = 1114,
    VTFileIsEmpty = 1201,
    VTFailedToRead = 1202,
    VTClipboardHasText = 1203,
    VTNoHelpFile = 1204,
    VTArchiveDamaged = 1205,
    VTMemberDamaged = 1206,
    VTLanguageFileRefused = 1207,
    VTShippedLanguageBeside = 1208,
    VTNoSuchPath = 1209,
    VTNoPathGiven = 1210,
    VTSettingsKept = 1211,
    VTClosingAfterFile = 1212,
    VTChooseFile = 1213,
    VTChooseFolder = 1214,
    VTPathToolTip = 1215,
    VTCharactersShown = 1216,
    VTSettingsNotSaved = 1217,
    VTNoHelpOpener = 1218,
    VTErrorTitle = 1219,
    VTUnexpectedError = 1220,
    VTNoErrorMessage = 1221,
    VTMayContinue = 1222,
    VTCannotContinue = 1223,
    VTQuit = 1224,
    VTContinue = 1225,
    VTReportSavedAs = 1226,
    VTReportNotSaved = 1227,
    VTInterfaceLanguage = 1228,
    VTSettingsNotAppliedHere = 1229,
    VTSettingsNotApplied = 1230,
    VTAndMore = 1231,
    VTSettingsUnreadable = 1232,
    VTSettingsUnsaved = 1233,
    VTRunFailed = 1234,
    VTUnicodeVersion = 1235,
    VTUnsignedLooksUtf8 = 1236,
    // The character inspector and the list-font filter.
    VTInspectorCodePoint = 1301,
    VTInspectorCodePoints = 1302,
    VTInspectorName = 1303,
    VTInspectorCategory = 1304,
    VTInspectorScript = 1305,
    VTInspectorBlock = 1306,
    VTInspectorUtf8 = 1307,
    VTInspectorUtf16 = 1308,
    VTInspectorFrequency = 1309,
    VTInspectorShare = 1310,
    VTListFontHasGlyph = 1311,
    VTListFontLacksGlyph = 1312,
    VTInspectorDrawnWith = 1313,
    VTNoInstalledFont = 1314,
    VTNoUtf8Form = 1315,
    VTControlNotDrawn = 1316,
    VTMissingRows = 1317,
    VTInspectorHelp = 1318,
    VTMissingFilterHelp = 1319,
    VTNoRowSelected = 1320,
    VTGroupByScript = 1401,
    VTGroupByBlock = 1402,
    VTGroupByCategory = 1403,
    VTGroupColumn = 1404,
    VTDistinctColumn = 1405,
    VTFrequencyColumn = 1406,
    VTShareColumn = 1407,
    VTGroupChartTitle = 1408,
    VTCharacterChartTitle = 1409,
    VTCharacterAxis = 1410,
    VTSaveAsTitle = 1411,
    VTFilterCopyText = 1412,
    VTFilterTable = 1413,
    VTFilterCsv = 1414,
    VTFilterJson = 1415,
    VTFilterPng = 1416,
    VTFilterSvg = 1417,
    VTReplaceFile = 1418,
    VTCannotSave = 1419,
    VTSavedAs = 1420,
    VTNothingToSave = 1421,
    VTGroupSelected = 1422,
    VTOverviewHelp = 1423,
    VTGroupByHelp = 1424,
    VTSaveAsHelp = 1425,
    VTSaveWhileRunning = 1426,
    VTNoRecentPaths = 1501,
    VTRecentPathsWhatsThis = 1502,
    VTPathBoxWhatsThis = 1503,
    VTFirstPathAnalysed = 1504,
    VTDropWhileRunning = 1505,
    VTAboutTitle = 1601,
    VTAboutVersion = 1602,
    VTAboutLicence = 1603,
    VTAboutLicenceMeaning = 1604,
};

/// One row of the table: id, name as the code knows it, English text.
struct ResourceStringEntry {
    ResId id;
    std::string_view name;
    std::u16string_view english;
};

/// The whole table, in id order.
[[nodiscard]] std::span<const ResourceStringEntry> resourceStringTable();

/// The text in force for a resource string: a translation when one is current, else English.
[[nodiscard]] std::u16string ResourceString(ResId id);

/// Puts translated texts in force (by id); ids not given keep their English text.
/// An empty table returns every string to English. Empty texts, and line-break or total labels
/// that begin with a digit, are not taken. Safe to call while other threads read the strings.
void setResourceStringTranslations(std::span<const std::pair<ResId, std::u16string>> texts);

/// Looks up an entry by its name; nullptr when there is none.
[[nodiscard]] const ResourceStringEntry* findResourceString(std::string_view name);

/// Formats a resource-string pattern: "%s" takes the next string argument, "%%" is a percent sign.
/// A "%s" beyond the arguments gives nothing; other "%" sequences stay as they are.
[[nodiscard]] std::u16string formatWithStrings(std::u16string_view pattern,
                                               std::span<const std::u16string_view> args);

/// Formats a pattern that takes one floating-point argument: "%.Nf" / "%f" / "%g" / "%n"
/// ("%f" and "%n" default to two decimals; "%n" groups digits). Only the first conversion
/// takes the number; later ones give nothing.
[[nodiscard]] std::u16string formatWithNumber(std::u16string_view pattern, double value);

}  // namespace runemeter
