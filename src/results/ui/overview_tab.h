// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The Overview tab: the last run's characters gathered by script, block or category, as a
// sortable table and as two bar charts (the groups, and the most frequent characters).

#include <QFont>
#include <QWidget>

#include <cstdint>
#include <vector>

#include "profile/profile.h"
#include "results/groups.h"

class QChart;
class QChartView;
class QComboBox;
class QLabel;
class QPainter;
class QTableWidget;

namespace runemeter {

/// The tab page with its controls.
class TOverviewTab : public QWidget {
    Q_OBJECT
public:
    /// How many characters the character chart shows, and groups the group chart.
    static constexpr std::size_t kChartedCharacters = 30;
    static constexpr std::size_t kChartedGroups = 20;

    explicit TOverviewTab(QWidget* parent = nullptr);

    QLabel* LabelGroupBy = nullptr;
    QComboBox* ElComboBoxGroupBy = nullptr;  ///< script, block or category; kept in the settings
    QTableWidget* OverviewTable = nullptr;
    QChartView* GroupChartView = nullptr;
    QChartView* CharacterChartView = nullptr;

    /// Shows the groups and most frequent characters of these rows.
    void setResult(std::vector<ProfileRow> rows, std::int64_t totalCharacters);
    /// Forgets the result (the table and charts empty).
    void clearResult();
    /// The font the character chart's labels are drawn in (the list font).
    void setListFont(const QFont& font);
    /// Refills the texts from the resource strings now in force and redraws (a language
    /// switch; the layout direction is taken again too).
    void retranslate();

    /// The key the groups are made by now.
    [[nodiscard]] GroupKey groupKey() const;
    /// The groups shown, largest frequency first.
    [[nodiscard]] const std::vector<CharacterGroup>& groups() {
        refresh();
        return m_groups;
    }
    /// Brings the table and charts up to the result, the key and the language. The tab does
    /// so itself when it is shown, so the end of a run does not wait for a tab not looked at.
    void refresh();
    /// Whether a result is shown.
    [[nodiscard]] bool hasResult() const { return m_hasResult; }
    /// Paints both charts one above the other into area (for saving them as a picture).
    void paintCharts(QPainter& painter, const QRect& area);

protected:
    bool event(QEvent* event) override;

signals:
    /// The user chose a group (clicked it in the table or the group chart, or pressed Enter).
    void groupChosen(runemeter::GroupKey key, const QString& name);
    /// The user clicked a bar of the character chart: the row with this text.
    void characterChosen(const QString& rowText);

private:
    void showGroups();
    void fillTable();
    void drawGroupChart();
    void drawCharacterChart();
    void chooseRow(int row);
    void refreshWhenShown();

    std::vector<ProfileRow> m_rows;
    std::int64_t m_total = 0;
    std::vector<CharacterGroup> m_groups;
    QFont m_listFont;
    bool m_hasResult = false;
    bool m_groupsStale = true;      ///< the table and group chart wait for refresh()
    bool m_charactersStale = true;  ///< the character chart waits for refresh()
};

}  // namespace runemeter
