// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/ui/overview_tab.h"

#include <QComboBox>
#include <QEvent>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QBarSeries>
#include <QtCharts/QBarSet>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QHorizontalBarSeries>
#include <QtCharts/QValueAxis>

#include <array>

#include "results/row_fields.h"
#include "suite/number_format.h"
#include "suite/resource_strings.h"
#include "suite/ui/qt_text.h"

namespace runemeter {

namespace {

// The keys the box offers, in the order of its items (the settings keep the index).
constexpr std::array<GroupKey, 3> kKeys{GroupKey::Script, GroupKey::Block, GroupKey::Category};
constexpr std::array<ResId, 3> kKeyTexts{ResId::VTGroupByScript, ResId::VTGroupByBlock,
                                         ResId::VTGroupByCategory};

// A table cell that shows a formatted number and sorts by the number itself.
class NumberItem : public QTableWidgetItem {
public:
    NumberItem(const QString& shown, double value) : QTableWidgetItem(shown) {
        setData(Qt::UserRole, value);
        setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    bool operator<(const QTableWidgetItem& other) const override {
        return data(Qt::UserRole).toDouble() < other.data(Qt::UserRole).toDouble();
    }
};

QChart* newChart() {
    auto* chart = new QChart;
    chart->legend()->hide();
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    return chart;
}

// Replaces the chart's series and axes: one bar per label, the value axis from 0.
void fillChart(QChart& chart, QAbstractBarSeries* series, const QStringList& labels,
               const QList<qreal>& values, bool horizontal, bool rightToLeft,
               const QFont& labelFont, const QString& categoryTitle) {
    chart.removeAllSeries();
    for (QAbstractAxis* axis : chart.axes()) {
        chart.removeAxis(axis);
        delete axis;
    }
    auto* set = new QBarSet(QString());
    set->append(values);
    series->append(set);
    chart.addSeries(series);
    auto* categories = new QBarCategoryAxis;
    categories->append(labels);
    categories->setLabelsFont(labelFont);
    categories->setTitleText(categoryTitle);  // none for the groups: the title names them
    auto* counts = new QValueAxis;
    qreal largest = 0;
    for (const qreal value : values) {
        largest = std::max(largest, value);
    }
    counts->setRange(0, largest > 0 ? largest : 1);
    counts->applyNiceNumbers();
    counts->setLabelFormat(QStringLiteral("%.0f"));
    counts->setTitleText(resourceText(ResId::VTFrequencyColumn));
    // Right to left: the bars start at the right edge and the categories read from the right.
    if (horizontal) {
        counts->setReverse(rightToLeft);
        chart.addAxis(counts, Qt::AlignBottom);
        chart.addAxis(categories, rightToLeft ? Qt::AlignRight : Qt::AlignLeft);
    } else {
        categories->setReverse(rightToLeft);
        chart.addAxis(categories, Qt::AlignBottom);
        chart.addAxis(counts, rightToLeft ? Qt::AlignRight : Qt::AlignLeft);
    }
    series->attachAxis(categories);
    series->attachAxis(counts);
}

// What the character chart writes under a bar: the character, or its code for one that has
// no visible form.
QString characterLabel(const ProfileRow& row) {
    const RowFields fields = deriveRowFields(row.text);
    if (fields.codeValue == 32 && !fields.cluster) {
        return QStringLiteral("\u2423");  // the open box that stands for a space
    }
    // A name in place of the character (a cluster's is its characters, kept) is too wide.
    const bool named = !fields.cluster && fields.characterField.size() > 2;
    return fields.characterField.empty() || named ? fromU16(fields.codeField)
                                                  : fromU16(fields.characterField);
}

void renderChart(QChartView& view, QPainter& painter, const QRectF& target) {
    QChart* chart = view.chart();
    const QRectF kept = chart->geometry();
    chart->setGeometry(QRectF(QPointF(0, 0), target.size()));
    view.scene()->render(&painter, target, QRectF(QPointF(0, 0), target.size()));
    chart->setGeometry(kept);
}

}  // namespace

TOverviewTab::TOverviewTab(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("TabSheetOverview"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    auto* keyRow = new QHBoxLayout;
    LabelGroupBy = new QLabel(QStringLiteral("&group by"), this);
    LabelGroupBy->setObjectName(QStringLiteral("LabelGroupBy"));
    ElComboBoxGroupBy = new QComboBox(this);
    ElComboBoxGroupBy->setObjectName(QStringLiteral("ElComboBoxGroupBy"));
    ElComboBoxGroupBy->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    LabelGroupBy->setBuddy(ElComboBoxGroupBy);
    keyRow->addWidget(LabelGroupBy);
    keyRow->addWidget(ElComboBoxGroupBy);
    keyRow->addStretch(1);
    layout->addLayout(keyRow);

    OverviewTable = new QTableWidget(0, 4, this);
    OverviewTable->setObjectName(QStringLiteral("OverviewTable"));
    OverviewTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    OverviewTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    OverviewTable->setSelectionMode(QAbstractItemView::SingleSelection);
    OverviewTable->verticalHeader()->hide();
    OverviewTable->horizontalHeader()->setStretchLastSection(true);
    // Largest frequency first until the user sorts by another column.
    OverviewTable->horizontalHeader()->setSortIndicator(2, Qt::DescendingOrder);
    OverviewTable->setSortingEnabled(true);

    GroupChartView = new QChartView(newChart(), this);
    GroupChartView->setObjectName(QStringLiteral("GroupChartView"));
    GroupChartView->setRenderHint(QPainter::Antialiasing);
    CharacterChartView = new QChartView(newChart(), this);
    CharacterChartView->setObjectName(QStringLiteral("CharacterChartView"));
    CharacterChartView->setRenderHint(QPainter::Antialiasing);
    for (QChartView* view : {GroupChartView, CharacterChartView}) {
        view->setMinimumHeight(120);
        view->setFocusPolicy(Qt::NoFocus);  // the table reaches the same groups by keyboard
    }

    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->setObjectName(QStringLiteral("OverviewSplitter"));
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(OverviewTable);
    splitter->addWidget(GroupChartView);
    splitter->addWidget(CharacterChartView);
    // The charts get the larger part of the height: they need it for their labels.
    splitter->setSizes({100, 300, 300});
    layout->addWidget(splitter, 1);

    connect(ElComboBoxGroupBy, &QComboBox::currentIndexChanged, this, [this] {
        m_groupsStale = true;
        refreshWhenShown();
    });
    connect(OverviewTable, &QTableWidget::cellClicked, this,
            [this](int row, int) { chooseRow(row); });
    connect(OverviewTable, &QTableWidget::activated, this,
            [this](const QModelIndex& index) { chooseRow(index.row()); });
    retranslate();
}

GroupKey TOverviewTab::groupKey() const {
    const int index = ElComboBoxGroupBy->currentIndex();
    return index >= 0 && index < static_cast<int>(kKeys.size()) ? kKeys[std::size_t(index)]
                                                                : kKeys[0];
}

void TOverviewTab::setResult(std::vector<ProfileRow> rows, std::int64_t totalCharacters) {
    m_rows = std::move(rows);
    m_total = totalCharacters;
    m_hasResult = true;
    m_groupsStale = m_charactersStale = true;
    refreshWhenShown();
}

void TOverviewTab::clearResult() {
    m_rows.clear();
    m_total = 0;
    m_hasResult = false;
    m_groupsStale = m_charactersStale = true;
    refreshWhenShown();
}

void TOverviewTab::setListFont(const QFont& font) {
    if (font == m_listFont) {
        return;
    }
    m_listFont = font;
    m_charactersStale = true;
    refreshWhenShown();
}

void TOverviewTab::retranslate() {
    {
        const int chosen = ElComboBoxGroupBy->currentIndex();
        const QSignalBlocker quiet(ElComboBoxGroupBy);
        ElComboBoxGroupBy->clear();
        for (const ResId id : kKeyTexts) {
            ElComboBoxGroupBy->addItem(resourceText(id));
        }
        ElComboBoxGroupBy->setCurrentIndex(chosen >= 0 ? chosen : 0);
    }
    ElComboBoxGroupBy->setWhatsThis(resourceText(ResId::VTGroupByHelp));
    LabelGroupBy->setWhatsThis(resourceText(ResId::VTGroupByHelp));
    for (QWidget* part :
         std::initializer_list<QWidget*>{this, OverviewTable, GroupChartView, CharacterChartView}) {
        part->setWhatsThis(resourceText(ResId::VTOverviewHelp));
    }
    OverviewTable->setHorizontalHeaderLabels(
        {resourceText(ResId::VTGroupColumn), resourceText(ResId::VTDistinctColumn),
         resourceText(ResId::VTFrequencyColumn), resourceText(ResId::VTShareColumn)});
    m_groupsStale = m_charactersStale = true;
    refreshWhenShown();
}

void TOverviewTab::refresh() {
    if (m_groupsStale) {
        m_groupsStale = false;
        showGroups();
    }
    if (m_charactersStale) {
        m_charactersStale = false;
        drawCharacterChart();
    }
}

void TOverviewTab::refreshWhenShown() {
    // The current tab counts as shown, also in a window not on screen yet.
    if (isVisibleTo(window())) {
        refresh();
    }
}

bool TOverviewTab::event(QEvent* event) {
    switch (event->type()) {
        case QEvent::LayoutDirectionChange:
            m_groupsStale = m_charactersStale = true;
            refreshWhenShown();
            break;
        case QEvent::ShowToParent:
        case QEvent::Show:
            refreshWhenShown();
            break;
        default:
            break;
    }
    return QWidget::event(event);
}

void TOverviewTab::showGroups() {
    m_groups = m_hasResult ? groupRows(m_rows, groupKey()) : std::vector<CharacterGroup>{};
    fillTable();
    drawGroupChart();
}

void TOverviewTab::fillTable() {
    const FormatSettings& numbers = Myformatsettings();
    OverviewTable->setSortingEnabled(false);
    OverviewTable->clearContents();
    OverviewTable->setRowCount(static_cast<int>(m_groups.size()));
    int row = 0;
    for (const CharacterGroup& group : m_groups) {
        auto* name = new QTableWidgetItem(QString::fromStdString(group.name));
        name->setData(Qt::UserRole, QString::fromStdString(group.name));
        OverviewTable->setItem(row, 0, name);
        OverviewTable->setItem(row, 1,
                               new NumberItem(fromU16(IntToDecStr(group.characters, numbers)),
                                              static_cast<double>(group.characters)));
        OverviewTable->setItem(row, 2,
                               new NumberItem(fromU16(IntToDecStr(group.frequency, numbers)),
                                              static_cast<double>(group.frequency)));
        const long double share =
            m_total > 0 ? static_cast<long double>(group.frequency) * 100.0L / m_total : 0.0L;
        OverviewTable->setItem(
            row, 3,
            new NumberItem(fromU16(RealToDecStr(share, numbers)), static_cast<double>(share)));
        ++row;
    }
    OverviewTable->setSortingEnabled(true);
    OverviewTable->resizeColumnsToContents();
}

void TOverviewTab::drawGroupChart() {
    QStringList labels;
    QList<qreal> values;
    // Horizontal bars go upwards from the first: the smallest first puts the largest on top.
    const std::size_t charted = std::min(m_groups.size(), kChartedGroups);
    for (std::size_t i = charted; i-- > 0;) {
        labels << QString::fromStdString(m_groups[i].name);
        values << static_cast<qreal>(m_groups[i].frequency);
    }
    QChart& chart = *GroupChartView->chart();
    chart.setTitle(
        formatResource(ResId::VTGroupChartTitle, {toU16(ElComboBoxGroupBy->currentText())}));
    fillChart(chart, new QHorizontalBarSeries, labels, values, true, isRightToLeft(), font(), {});
    auto* series = qobject_cast<QAbstractBarSeries*>(chart.series().value(0));
    connect(series->barSets().value(0), &QBarSet::clicked, this, [this, charted](int bar) {
        if (bar >= 0 && static_cast<std::size_t>(bar) < charted) {
            const CharacterGroup& group = m_groups[charted - 1 - std::size_t(bar)];
            emit groupChosen(groupKey(), QString::fromStdString(group.name));
        }
    });
}

void TOverviewTab::drawCharacterChart() {
    QStringList labels;
    QList<qreal> values;
    QStringList rowTexts;
    if (m_hasResult) {
        for (const std::size_t index : mostFrequentRows(m_rows, kChartedCharacters)) {
            labels << characterLabel(m_rows[index]);
            values << static_cast<qreal>(m_rows[index].frequency);
            rowTexts << fromU16(m_rows[index].text);
        }
    }
    QChart& chart = *CharacterChartView->chart();
    chart.setTitle(
        formatResource(ResId::VTCharacterChartTitle, {toU16(QString::number(kChartedCharacters))}));
    fillChart(chart, new QBarSeries, labels, values, false, isRightToLeft(), m_listFont,
              resourceText(ResId::VTCharacterAxis));
    auto* series = qobject_cast<QAbstractBarSeries*>(chart.series().value(0));
    connect(series->barSets().value(0), &QBarSet::clicked, this, [this, rowTexts](int bar) {
        if (bar >= 0 && bar < rowTexts.size()) {
            emit characterChosen(rowTexts[bar]);
        }
    });
}

void TOverviewTab::chooseRow(int row) {
    refresh();
    const QTableWidgetItem* item = OverviewTable->item(row, 0);
    if (item != nullptr) {
        emit groupChosen(groupKey(), item->data(Qt::UserRole).toString());
    }
}

void TOverviewTab::paintCharts(QPainter& painter, const QRect& area) {
    refresh();
    const QRectF top(area.left(), area.top(), area.width(), area.height() / 2.0);
    renderChart(*GroupChartView, painter, top);
    renderChart(*CharacterChartView, painter, top.translated(0, top.height()));
}

}  // namespace runemeter
