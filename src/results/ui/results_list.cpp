// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/ui/results_list.h"

#include <QGlyphRun>
#include <QHeaderView>
#include <QHelpEvent>
#include <QPainter>
#include <QTextLayout>
#include <QToolTip>

#include <algorithm>
#include <iterator>

#include "results/column_geometry.h"
#include "suite/resource_strings.h"
#include "suite/ui/qt_text.h"

namespace runemeter {

namespace {
constexpr int kStretchingSection = 2;  // the one laidOutSectionWidths widens
}  // namespace

const std::array<HeaderSectionDesign, 5>& headerSectionDesign() {
    static const std::array<HeaderSectionDesign, 5> kSections{{
        // The captions over numbers stay at the right in a right-to-left list, as the numbers do.
        {"Code", Qt::AlignRight | Qt::AlignAbsolute | Qt::AlignVCenter},
        {"Character", Qt::AlignLeft | Qt::AlignVCenter},
        {"Type", Qt::AlignLeft | Qt::AlignVCenter},
        {"%", Qt::AlignRight | Qt::AlignAbsolute | Qt::AlignVCenter},
        {"freq.", Qt::AlignRight | Qt::AlignAbsolute | Qt::AlignVCenter},
    }};
    return kSections;
}

// ---- model

void ResultsModel::setRows(std::vector<ProfileRow> rows, std::int64_t totalCharacters) {
    beginResetModel();
    m_rows = std::move(rows);
    m_total = totalCharacters;
    applyFilter();
    endResetModel();
    if (m_keep) {
        emit rowsFiltered(static_cast<int>(m_shown.size()));
    }
}

void ResultsModel::clearRows() {
    beginResetModel();
    m_rows.clear();
    applyFilter();
    endResetModel();
    if (m_keep) {
        emit rowsFiltered(static_cast<int>(m_shown.size()));
    }
}

void ResultsModel::setRowFilter(std::function<bool(const ProfileRow&)> keep) {
    beginResetModel();
    m_keep = std::move(keep);
    applyFilter();
    endResetModel();
    if (m_keep) {
        emit rowsFiltered(static_cast<int>(m_shown.size()));
    }
}

void ResultsModel::applyFilter() {
    m_shown.clear();
    if (!m_keep) {
        return;
    }
    std::copy_if(m_rows.begin(), m_rows.end(), std::back_inserter(m_shown), m_keep);
}

int ResultsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows().size());
}

int ResultsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(headerSectionDesign().size());
}

QVariant ResultsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const ProfileRow& row = rows()[static_cast<std::size_t>(index.row())];
    // The row is painted whole by the delegate; these roles serve accessibility and tests.
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) {
        const RowColumnTexts texts =
            rowColumnTexts(row.text, row.frequency, m_total, false, Myformatsettings());
        switch (index.column()) {
            case 0:
                return fromU16(texts.code);
            case 1:
                return fromU16(texts.character);
            case 2:
                return fromU16(texts.type);
            case 3:
                return fromU16(texts.share);
            case 4:
                return fromU16(texts.frequency);
            default:
                return {};
        }
    }
    if (role == Qt::UserRole) {
        return fromU16(row.text);
    }
    if (role == Qt::UserRole + 1) {
        return QVariant::fromValue<qlonglong>(row.frequency);
    }
    return {};
}

QVariant ResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) {
        return {};
    }
    const HeaderSectionDesign& design = headerSectionDesign()[static_cast<std::size_t>(section)];
    if (role == Qt::DisplayRole) {
        const QString& caption = m_captions[static_cast<std::size_t>(section)];
        return caption.isEmpty() ? QString::fromLatin1(design.caption) : caption;
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(design.alignment);
    }
    if (role == Qt::ToolTipRole) {
        const bool byText = section < 3;
        return QStringLiteral("Sort by %1 (Ctrl+%2)")
            .arg(byText ? QStringLiteral("row text") : QStringLiteral("frequency, largest first"))
            .arg(section + 1);
    }
    return {};
}

bool ResultsModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                                 int role) {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount() ||
        (role != Qt::DisplayRole && role != Qt::EditRole)) {
        return false;
    }
    m_captions[static_cast<std::size_t>(section)] = value.toString();
    emit headerDataChanged(orientation, section, section);
    return true;
}

// ---- painting helpers

QColor paletteColour(RowColour colour, const QPalette& palette) {
    switch (colour) {
        case RowColour::Window:
            return palette.color(QPalette::Active, QPalette::Base);
        case RowColour::WindowText:
            return palette.color(QPalette::Active, QPalette::Text);
        case RowColour::GrayText:
            return palette.color(QPalette::Disabled, QPalette::Text);
        case RowColour::Red:
            return QColor(255, 0, 0);
        case RowColour::Blue:
            return QColor(0, 0, 255);
    }
    return palette.color(QPalette::Active, QPalette::Text);
}

RowPaint rowPaint(const ProfileRow& row, std::int64_t totalCharacters, bool selected,
                  const FormatSettings& settings, const int sectionLeft[5],
                  const int sectionWidth[5], const QFontMetrics& metrics, const QPalette& palette,
                  bool rightToLeft) {
    const RowColumnTexts texts =
        rowColumnTexts(row.text, row.frequency, totalCharacters, selected, settings);
    RowPaint paint;
    paint.columns[0].text = fromU16(texts.code);
    paint.columns[1].text = fromU16(texts.character);
    paint.columns[2].text = fromU16(texts.type);
    paint.columns[3].text = fromU16(texts.share);
    paint.columns[4].text = fromU16(texts.frequency);
    int widths[5];
    for (std::size_t i = 0; i < paint.columns.size(); ++i) {
        widths[i] = metrics.horizontalAdvance(paint.columns[i].text);
    }
    const RowTextPositions x = rowTextPositions(sectionLeft, sectionWidth, widths, rightToLeft);
    paint.columns[0].x = x.code;
    paint.columns[1].x = x.character;
    paint.columns[2].x = x.type;
    paint.columns[3].x = x.share;
    paint.columns[4].x = x.frequency;
    paint.colour = paletteColour(texts.colour, palette);
    return paint;
}

int rowHeightFor(const QFontMetrics& metrics) {
    return metrics.size(Qt::TextSingleLine, QStringLiteral("&jK")).height() + 2;
}

// ---- delegate

ResultRowDelegate::ResultRowDelegate(DrawHandler draw, MeasureHandler measure, QObject* parent)
    : QStyledItemDelegate(parent), m_draw(std::move(draw)), m_measure(std::move(measure)) {}

void ResultRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    if (m_draw) {
        m_draw(*painter, index.row(), option.rect, option.state.testFlag(QStyle::State_Selected));
    }
}

QSize ResultRowDelegate::sizeHint(const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
    int height = option.fontMetrics.height() + 2;
    if (m_measure) {
        m_measure(index.row(), height);
    }
    return {option.rect.width(), height};
}

// ---- view

TLMDListBox::TLMDListBox(QWidget* parent) : QTreeView(parent), m_model(this) {
    setModel(&m_model);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);  // 65,538 rows scroll without measuring each one
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTextElideMode(Qt::ElideNone);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

    QHeaderView* head = header();
    // The header keeps its own font: the Settings tab's font is for the rows only.
    QFont headerFont = head->font();
    headerFont.setFamily(headerFont.family());
    headerFont.setPointSizeF(headerFont.pointSizeF());
    head->setFont(headerFont);
    head->setStretchLastSection(false);
    head->setSectionsClickable(true);
    head->setSectionsMovable(false);
    head->setSortIndicatorShown(false);
    head->setHighlightSections(false);
    head->setMinimumSectionSize(8);
    const auto& design = headerSectionDesign();
    for (int i = 0; i < static_cast<int>(design.size()); ++i) {
        head->setSectionResizeMode(i, QHeaderView::Interactive);
    }
    m_minimum = kDesignedMinimumWidths;
    m_chosen = kDesignedSectionWidths;
    layOutSections();
    connect(head, &QHeaderView::sectionResized, this, [this](int section, int, int newSize) {
        if (section < 0 || section >= static_cast<int>(m_minimum.size())) {
            return;
        }
        const auto index = static_cast<std::size_t>(section);
        if (!m_layingOut) {
            // The user dragged a border: wider stays, narrower than the texts need does not.
            m_chosen[index] = std::max(newSize, m_minimum[index]);
            if (newSize < m_minimum[index]) {
                header()->resizeSection(section, m_minimum[index]);
                return;
            }
            if (section != kStretchingSection) {
                layOutSections();  // the Type section gives or takes the difference
            }
        }
        // Every row is painted across all sections, so any border move repaints all rows.
        viewport()->update();
    });
}

void TLMDListBox::fitSectionsToTexts() {
    const QFontMetrics metrics(font());
    const TextWidth width = [&metrics](std::u16string_view text) {
        return metrics.horizontalAdvance(fromU16(text));
    };
    // All rows, so that the sections keep their widths when the filter changes.
    m_minimum = runemeter::minimumSectionWidths(width, m_model.allRows(), Myformatsettings());
    layOutSections();
}

int TLMDListBox::sectionsWidth() const {
    int sum = 0;
    for (const int width : laidOutSectionWidths(m_minimum, m_chosen, 0)) {
        sum += width;
    }
    return sum;
}

void TLMDListBox::layOutSections() {
    const std::array<int, 5> widths =
        laidOutSectionWidths(m_minimum, m_chosen, viewport()->width());
    m_layingOut = true;
    for (int i = 0; i < static_cast<int>(widths.size()); ++i) {
        header()->resizeSection(i, widths[static_cast<std::size_t>(i)]);
    }
    m_layingOut = false;
}

namespace {

// Whether Qt finds a glyph for the text in the font or any font it falls back to: the layout
// picks the fallback fonts as painting does, and glyph 0 is the empty box of a missing one.
bool someFontDraws(const QString& text, const QFont& font) {
    QTextLayout layout(text, font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    const QList<QGlyphRun> runs = layout.glyphRuns();
    if (runs.isEmpty()) {
        return false;
    }
    for (const QGlyphRun& run : runs) {
        for (const quint32 glyph : run.glyphIndexes()) {
            if (glyph == 0) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

QString TLMDListBox::rowToolTip(int row) const {
    if (row < 0 || row >= Count()) {
        return {};
    }
    const RowFields fields = deriveRowFields(m_model.rows()[static_cast<std::size_t>(row)].text);
    // Only rows that show a character (a code unit, a code point or a cluster); control codes
    // and labels show names.
    if (!fields.numeric || fields.controlRow || fields.characterField.empty()) {
        return {};
    }
    const QString shown = fromU16(fields.characterField);
    auto known = m_hasGlyph.constFind(shown);
    if (known == m_hasGlyph.constEnd()) {
        known = m_hasGlyph.insert(shown, someFontDraws(shown, font()));
    }
    return *known ? QString() : resourceText(ResId::VTNoFontHasCharacter);
}

bool TLMDListBox::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString tip = rowToolTip(indexAt(help->pos()).row());
        if (tip.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), tip, viewport());
        }
        return true;
    }
    return QTreeView::viewportEvent(event);
}

void TLMDListBox::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        m_hasGlyph.clear();  // another font may fall back to other fonts
    }
    QTreeView::changeEvent(event);
}

void TLMDListBox::resizeEvent(QResizeEvent* event) {
    QTreeView::resizeEvent(event);
    layOutSections();
}

void TLMDListBox::sectionEdges(int left[5], int width[5]) const {
    const QHeaderView* head = header();
    for (int i = 0; i < 5; ++i) {
        left[i] = head->sectionViewportPosition(i);
        width[i] = head->sectionSize(i);
    }
}

void TLMDListBox::goToRow(int row) {
    if (row < 0 || row >= Count()) {
        return;
    }
    const QModelIndex index = m_model.index(row, 0);
    setCurrentIndex(index);  // also selects the row (single selection)
    scrollTo(index, QAbstractItemView::PositionAtTop);
}

void TLMDListBox::rowHeightChanged() {
    // Uniform row heights are cached; a new layout measures the first row again.
    scheduleDelayedItemsLayout();
    doItemsLayout();
    viewport()->update();
}

void TLMDListBox::drawRow(QPainter* painter, const QStyleOptionViewItem& options,
                          const QModelIndex& index) const {
    QStyleOptionViewItem option = options;
    const bool selected = selectionModel() != nullptr && selectionModel()->isSelected(index);
    if (selected) {
        option.state |= QStyle::State_Selected;
    } else {
        option.state &= ~QStyle::State_Selected;
    }
    // One rectangle for the whole row, across every section and the space after the last.
    // The sections start at the right in a right-to-left list.
    const int first = header()->sectionViewportPosition(0);
    const int rowLeft = std::min(
        0, isRightToLeft() ? first + header()->sectionSize(0) - header()->length() : first);
    const int rowRight = std::max(viewport()->width(), rowLeft + header()->length());
    option.rect = QRect(rowLeft, options.rect.top(), rowRight - rowLeft, options.rect.height());
    painter->save();
    painter->setBrush(
        option.palette.brush(QPalette::Active, selected ? QPalette::Highlight : QPalette::Base));
    painter->setPen(Qt::NoPen);
    painter->setFont(font());
    itemDelegate()->paint(painter, option, index.siblingAtColumn(0));
    painter->restore();
    if (hasFocus() && currentIndex().row() == index.row()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = option.rect.adjusted(0, 0, -1, -1);
        focus.backgroundColor =
            option.palette.color(selected ? QPalette::Highlight : QPalette::Base);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, this);
    }
}

}  // namespace runemeter
