// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The results list: a model over the profile rows, the view with its five header sections,
// and the delegate that hands each row to the window's draw and measure handlers.

#include <QAbstractTableModel>
#include <QColor>
#include <QFontMetrics>
#include <QHash>
#include <QPalette>
#include <QStyledItemDelegate>
#include <QTreeView>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "profile/profile.h"
#include "results/row_fields.h"
#include "suite/number_format.h"

namespace runemeter {

/// Captions and caption alignment of the five sections (their widths: column_geometry.h).
struct HeaderSectionDesign {
    const char* caption;
    Qt::Alignment alignment;
};

/// The five header sections as the list is designed.
[[nodiscard]] const std::array<HeaderSectionDesign, 5>& headerSectionDesign();

/// The rows of the list (text and frequency) and the total the shares are taken of.
class ResultsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    /// Replaces every row at once (one reset, so 65,538 rows cost one layout).
    void setRows(std::vector<ProfileRow> rows, std::int64_t totalCharacters);
    /// Removes all rows; the total stays.
    void clearRows();
    /// The rows shown: all of them, or those the row filter keeps, in the same order.
    [[nodiscard]] const std::vector<ProfileRow>& rows() const { return m_keep ? m_shown : m_rows; }
    /// Every row, the filter aside (sort these, then set them again).
    [[nodiscard]] const std::vector<ProfileRow>& allRows() const { return m_rows; }
    /// Shows only the rows keep accepts; an empty function shows every row again.
    void setRowFilter(std::function<bool(const ProfileRow&)> keep);
    [[nodiscard]] std::int64_t totalCharacters() const { return m_total; }

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role) const override;
    /// A section's caption may be replaced (translated interfaces); other roles stay.
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                       int role = Qt::EditRole) override;

signals:
    /// The filter was applied (rows set, or the filter set): count rows are shown.
    void rowsFiltered(int count);

private:
    void applyFilter();

    std::vector<ProfileRow> m_rows;
    std::vector<ProfileRow> m_shown;  ///< the rows the filter keeps, while there is one
    std::function<bool(const ProfileRow&)> m_keep;
    std::int64_t m_total = 0;
    std::array<QString, 5> m_captions;  ///< replaced captions; empty: the designed one
};

/// One text of a row as it is painted: what, and where its left edge goes.
struct PaintedText {
    QString text;
    int x = 0;
};

/// Everything painted for one row: the five texts (empty ones are not drawn) and the colour.
struct RowPaint {
    std::array<PaintedText, 5> columns;
    QColor colour;
};

/// The colour of a row colour on this palette.
[[nodiscard]] QColor paletteColour(RowColour colour, const QPalette& palette);

/// The texts, positions and colour of one row, from the core's row logic and the current
/// section edges; widths are measured with metrics.
[[nodiscard]] RowPaint rowPaint(const ProfileRow& row, std::int64_t totalCharacters, bool selected,
                                const FormatSettings& settings, const int sectionLeft[5],
                                const int sectionWidth[5], const QFontMetrics& metrics,
                                const QPalette& palette, bool rightToLeft);

/// Row height: the height of "&jK" in the row font plus 2 pixels.
[[nodiscard]] int rowHeightFor(const QFontMetrics& metrics);

/// Hands painting and measuring of each row to the window's handlers.
class ResultRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    /// draw(painter, row index, row rectangle, selected); measure(row index, height in/out).
    using DrawHandler = std::function<void(QPainter&, int, const QRect&, bool)>;
    using MeasureHandler = std::function<void(int, int&)>;

    ResultRowDelegate(DrawHandler draw, MeasureHandler measure, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    [[nodiscard]] QSize sizeHint(const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const override;

private:
    DrawHandler m_draw;
    MeasureHandler m_measure;
};

/// The list view: one painted row across all five sections, uniform row heights.
class TLMDListBox : public QTreeView {
    Q_OBJECT
public:
    explicit TLMDListBox(QWidget* parent = nullptr);

    [[nodiscard]] ResultsModel& resultsModel() { return m_model; }
    [[nodiscard]] const ResultsModel& resultsModel() const { return m_model; }
    [[nodiscard]] int Count() const { return m_model.rowCount(); }

    /// Left edges (in the viewport, after horizontal scrolling) and widths of the sections.
    void sectionEdges(int left[5], int width[5]) const;

    /// Leaves the list at row: scrolled there and made the current, selected row.
    void goToRow(int row);

    /// Tells the view that the row height changed (the font changed).
    void rowHeightChanged();

    /// Measures the rows in the list font and widens the sections that are too narrow for
    /// them; call it after new rows, a new font or new resource strings.
    void fitSectionsToTexts();
    /// The narrowest each section may be now (what fitSectionsToTexts found).
    [[nodiscard]] const std::array<int, 5>& minimumSectionWidths() const { return m_minimum; }
    /// The width the sections take when none is stretched.
    [[nodiscard]] int sectionsWidth() const;

    /// The tool tip of a row: that no installed font has its character, or empty. Asked only
    /// when a tool tip is shown, and remembered per code until the list font changes.
    [[nodiscard]] QString rowToolTip(int row) const;

protected:
    void drawRow(QPainter* painter, const QStyleOptionViewItem& options,
                 const QModelIndex& index) const override;
    void resizeEvent(QResizeEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void layOutSections();

    ResultsModel m_model;
    std::array<int, 5> m_minimum{};
    std::array<int, 5> m_chosen{};  ///< the designed widths, or where the user dragged a border
    bool m_layingOut = false;       ///< the sections are being resized by layOutSections
    mutable QHash<QString, bool> m_hasGlyph;  ///< per character or cluster: some font draws it
};

}  // namespace runemeter
