// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The written forms of a profile besides the copy text: a tab-separated table with the
// characters' properties, the same as CSV, and JSON; and the same forms of its groups. The
// command line prints them and the window exports them, byte for byte the same.

#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "profile/analysis_state.h"
#include "profile/profile.h"
#include "results/counts_file.h"
#include "results/groups.h"

namespace runemeter {

/// Table (tab-separated, LF) or CSV (comma-separated, quoted where needed, CR LF).
enum class TableForm { Table, Csv };

/// Writes lines of fields in either table form: CSV fields quoted where needed; in a table a
/// tab or line break inside a field becomes a blank.
class LineWriter {
public:
    explicit LineWriter(TableForm form) : m_form(form) {}
    void field(std::string_view text);
    void endLine();
    void header(std::initializer_list<std::string_view> names);
    [[nodiscard]] std::string take() { return std::move(m_out); }

private:
    TableForm m_form;
    std::string m_out;
    bool m_lineStarted = false;
};

/// A JSON string literal of UTF-16 text (quotes included). Characters are written as UTF-8,
/// control characters as \uXXXX escapes, a lone surrogate as U+FFFD (JSON text is UTF-8, and
/// readers refuse an escaped lone surrogate).
[[nodiscard]] std::string jsonString(std::u16string_view text);

/// Reasons of the problems a run has besides files that cannot be read: a folder where no file
/// matches the mask, and a run stopped before its end.
inline constexpr std::string_view kNoFileMatchesProblem = "no file matches the mask";
inline constexpr std::string_view kInterruptedProblem =
    "interrupted: the counts cover the files read before";

/// What a run found beyond the counts: the files found and what could not be read.
struct RunSummary {
    std::int64_t filesFound = 0;
    std::span<const RunProblem> problems;
};

/// The whole document: summary counters, the rows in their order, the source text's length;
/// with a summary also "filesFound" and the "problems" list. lettersOnly keeps only the rows
/// of single letters (as the copy does). A row's numeric code keeps its code unit; the
/// line-break and total rows have a null code and their whole label as text.
[[nodiscard]] std::string profileToJson(const AnalysisState& state, const Profile& profile,
                                        bool lettersOnly, const RunSummary* summary = nullptr);

/// A header line, then one line per row the copy text has, in the same order: code, U+
/// notation, character, name, category, script, block, share, frequency. A character that
/// would break the line (controls, surrogates, separators, anything not printable) is given
/// as its U+ notation.
[[nodiscard]] std::string rowsToTable(std::span<const ProfileRow> rows,
                                      std::int64_t totalCharacters, bool lettersOnly,
                                      TableForm form);

/// The groups as the copy text's lines would give them (tab-separated, CR LF, no header):
/// name, characters, frequency, share.
[[nodiscard]] std::string groupsToTsv(std::span<const CharacterGroup> groups,
                                      std::int64_t totalCharacters);

/// A header line, then one line per group: name, characters, frequency, share.
[[nodiscard]] std::string groupsToTable(std::span<const CharacterGroup> groups,
                                        std::int64_t totalCharacters, TableForm form);

/// The JSON document with the summary counters, "groupBy" and a "groups" array in place of
/// the rows.
[[nodiscard]] std::string groupsToJson(const AnalysisState& state, const Profile& profile,
                                       GroupKey key, std::span<const CharacterGroup> groups,
                                       const RunSummary* summary = nullptr);

/// The four forms a result is written in: the copy text (tab-separated, CR LF), the table,
/// CSV and JSON.
enum class ResultForm { Tsv, Table, Csv, Json };

/// A result in one of its forms, as runemeter-cli prints it and the window saves it: the rows
/// in their order (lettersOnly keeps the rows the copy keeps) or, with a key, their groups.
[[nodiscard]] std::string writeResult(ResultForm form, const AnalysisState& state,
                                      const Profile& profile, bool lettersOnly,
                                      std::optional<GroupKey> groupBy,
                                      const RunSummary* summary = nullptr);

}  // namespace runemeter
