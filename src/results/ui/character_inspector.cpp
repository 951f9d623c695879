// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/ui/character_inspector.h"

#include <QAction>
#include <QBoxLayout>
#include <QCheckBox>
#include <QEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QStatusBar>
#include <QStringList>

#include <algorithm>

#include "results/inspector_text.h"
#include "results/ui/results_list.h"
#include "suite/number_format.h"
#include "suite/resource_strings.h"
#include "suite/ui/qt_text.h"

namespace runemeter {

namespace {

constexpr int kGlyphPixels = 56;  // the size the character is drawn in

}  // namespace

bool fontHasAll(const QRawFont& font, std::span<const char32_t> codePoints) {
    return std::all_of(codePoints.begin(), codePoints.end(), [&font](char32_t c) {
        return font.supportsCharacter(static_cast<uint>(c));
    });
}

QString FontFinder::drawingFamily(std::span<const char32_t> codePoints, const QFont& font,
                                  const QRawFont& raw) {
    if (fontHasAll(raw, codePoints)) {
        return QFontInfo(font).family();
    }
    // The fonts a glyph run names cannot be asked their family safely (a fallback font may
    // have none), so the installed fonts are searched instead, once per code point.
    QStringList families;
    for (const char32_t c : codePoints) {
        const QString family = raw.supportsCharacter(static_cast<uint>(c))
                                   ? QFontInfo(font).family()
                                   : installedFamilyFor(c);
        if (family.isEmpty()) {
            return {};
        }
        if (!families.contains(family)) {
            families << family;
        }
    }
    return families.join(QStringLiteral(", "));
}

QString FontFinder::installedFamilyFor(char32_t codePoint) {
    const auto known = m_found.constFind(codePoint);
    if (known != m_found.constEnd()) {
        return *known;
    }
    // Each family is loaded when the search first reaches it, so a common character stops early.
    if (m_families.isEmpty()) {
        m_families = QFontDatabase::families();
    }
    QString found;
    for (int i = 0; i < m_families.size() && found.isEmpty(); ++i) {
        if (static_cast<std::size_t>(i) == m_installed.size()) {
            m_installed.push_back(QRawFont::fromFont(QFont(m_families[i])));
        }
        const QRawFont& raw = m_installed[static_cast<std::size_t>(i)];
        if (raw.isValid() && raw.supportsCharacter(static_cast<uint>(codePoint))) {
            found = m_families[i];
        }
    }
    m_found.insert(codePoint, found);
    return found;
}

// ---- the pane

/// One drawing of the character: large, in one font only (no fallback), the font's name
/// under it. Painted, so that neither is taken for a text of the window to translate.
class TCharacterInspector::GlyphView : public QWidget {
public:
    explicit GlyphView(QWidget* parent) : QWidget(parent) {
        setMinimumSize(kGlyphPixels + 16, kGlyphPixels + fontMetrics().height() + 12);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

    void show(const QString& text, const QString& family) {
        m_text = text;
        m_family = family;
        setAccessibleName(family);
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), palette().base());
        if (m_family.isEmpty()) {
            return;
        }
        const QRect caption(0, height() - fontMetrics().height() - 2, width(),
                            fontMetrics().height());
        painter.setPen(palette().color(QPalette::Text));
        painter.drawText(caption, Qt::AlignHCenter | Qt::AlignVCenter,
                         fontMetrics().elidedText(m_family, Qt::ElideRight, width() - 4));
        QFont glyphFont(m_family);
        glyphFont.setPixelSize(kGlyphPixels);
        glyphFont.setStyleStrategy(QFont::NoFontMerging);  // a missing glyph shows as missing
        painter.setFont(glyphFont);
        painter.drawText(QRect(0, 0, width(), caption.top()), Qt::AlignCenter, m_text);
    }

private:
    QString m_text;
    QString m_family;
};

TCharacterInspector::TCharacterInspector(QMainWindow& window, TLMDListBox& list, QBoxLayout& layout)
    : m_window(window), m_list(list) {
    setObjectName(QStringLiteral("CharacterInspector"));
    QWidget* page = list.parentWidget();
    Splitter = new QSplitter(Qt::Horizontal, page);
    Splitter->setObjectName(QStringLiteral("ResultsSplitter"));
    Splitter->setChildrenCollapsible(false);
    Splitter->addWidget(&list);
    Splitter->addWidget(this);
    Splitter->setStretchFactor(0, 1);
    Splitter->setStretchFactor(1, 0);
    layout.addWidget(Splitter, 1);

    FilterBox = new QCheckBox(QStringLiteral("&Missing from the list font"), page);
    FilterBox->setObjectName(QStringLiteral("ElCheckBoxMissingGlyphs"));
    layout.addWidget(FilterBox);

    ShowAction = new QAction(QStringLiteral("Character &inspector"), &window);
    ShowAction->setObjectName(QStringLiteral("ActionCharacterInspector"));
    ShowAction->setCheckable(true);
    ShowAction->setChecked(true);
    ShowAction->setShortcut(QKeySequence(Qt::Key_F9));
    ShowAction->setShortcutContext(Qt::WindowShortcut);
    window.addAction(ShowAction);

    MissingCount = new QLabel(&window);
    MissingCount->setObjectName(QStringLiteral("LabelMissingCount"));
    MissingCount->hide();

    auto* pane = new QVBoxLayout(this);
    pane->setContentsMargins(2, 0, 0, 0);
    auto* glyphs = new QHBoxLayout;
    m_inListFont = new GlyphView(this);
    m_inDrawingFont = new GlyphView(this);
    glyphs->addWidget(m_inListFont);
    glyphs->addWidget(m_inDrawingFont);
    pane->addLayout(glyphs);
    Details = new QPlainTextEdit(this);
    Details->setObjectName(QStringLiteral("InspectorDetails"));
    Details->setReadOnly(true);
    Details->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    pane->addWidget(Details, 1);

    connect(ShowAction, &QAction::toggled, this, &QWidget::setVisible);
    connect(list.selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &TCharacterInspector::showCurrentRow);
    connect(&list.resultsModel(), &QAbstractItemModel::modelReset, this,
            &TCharacterInspector::showCurrentRow);
    connect(&list.resultsModel(), &ResultsModel::rowsFiltered, this,
            &TCharacterInspector::showMissingCount);
    connect(FilterBox, &QCheckBox::toggled, this, &TCharacterInspector::applyFilter);
    for (QWidget* menuOwner : {static_cast<QWidget*>(&list), static_cast<QWidget*>(this)}) {
        menuOwner->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(menuOwner, &QWidget::customContextMenuRequested, this,
                [this, menuOwner](const QPoint& pos) { showContextMenu(menuOwner, pos); });
    }
    Details->setContextMenuPolicy(Qt::NoContextMenu);  // the pane's menu, not the editor's
    list.installEventFilter(this);
    retranslate();
}

void TCharacterInspector::setVisible(bool visible) {
    QWidget::setVisible(visible);
    if (visible) {
        showCurrentRow();  // a hidden pane does not follow the selection
    }
    // Hidden or shown by the command, the splitter's state or the settings: the command says so.
    if (ShowAction && ShowAction->isChecked() == isHidden()) {
        ShowAction->setChecked(!isHidden());
    }
}

void TCharacterInspector::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (isVisible()) {
        // The settings keep this width while the pane is hidden (see control_states.h).
        setProperty("lastShownExtent", width());
    }
}

bool TCharacterInspector::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &m_list && event->type() == QEvent::FontChange) {
        if (FilterBox->isChecked()) {
            applyFilter(true);  // another font lacks other characters
        }
        showCurrentRow();
    }
    return QWidget::eventFilter(watched, event);
}

void TCharacterInspector::retranslate() {
    setWhatsThis(resourceText(ResId::VTInspectorHelp));
    Details->setWhatsThis(whatsThis());
    FilterBox->setWhatsThis(resourceText(ResId::VTMissingFilterHelp));
    if (FilterBox->isChecked()) {
        showMissingCount(m_list.Count());
    }
    showCurrentRow();
}

void TCharacterInspector::showCurrentRow() {
    if (isHidden()) {
        return;
    }
    const int row = m_list.currentIndex().row();
    const ResultsModel& model = m_list.resultsModel();
    if (row < 0 || row >= model.rowCount()) {
        m_inListFont->show({}, {});
        m_inDrawingFont->show({}, {});
        m_drawingFamily.clear();
        Details->setPlainText(resourceText(ResId::VTNoRowSelected));
        return;
    }
    const ProfileRow& shown = model.rows()[static_cast<std::size_t>(row)];
    const std::vector<char32_t> codePoints = drawnCodePoints(shown.text);
    GlyphFacts facts;
    m_drawingFamily.clear();
    QString drawn;
    if (!codePoints.empty()) {
        const QFont listFont = m_list.font();
        const QRawFont raw = QRawFont::fromFont(listFont);
        drawn = QString::fromUcs4(codePoints.data(), static_cast<qsizetype>(codePoints.size()));
        m_drawingFamily = m_finder.drawingFamily(codePoints, listFont, raw);
        facts = {toU16(QFontInfo(listFont).family()), fontHasAll(raw, codePoints),
                 toU16(m_drawingFamily)};
    }
    const InspectorText withFont = inspectorText(
        shown.text, shown.frequency, model.totalCharacters(), Myformatsettings(), facts);
    QStringList lines{fromU16(withFont.heading)};
    for (const InspectorLine& line : withFont.lines) {
        lines << (line.label.empty()
                      ? fromU16(line.value)
                      : fromU16(line.label) + QStringLiteral(": ") + fromU16(line.value));
    }
    Details->setPlainText(lines.join(QLatin1Char('\n')));
    m_inListFont->show(drawn, drawn.isEmpty() ? QString() : fromU16(facts.listFont));
    m_inDrawingFont->show(drawn, drawn.isEmpty() ? QString() : m_drawingFamily.section(',', 0, 0));
}

void TCharacterInspector::applyFilter(bool on) {
    if (!on) {
        m_list.resultsModel().setRowFilter({});
        MissingCount->hide();
        return;
    }
    const QRawFont raw = QRawFont::fromFont(m_list.font());
    m_list.resultsModel().setRowFilter([raw](const ProfileRow& row) {
        const std::vector<char32_t> codePoints = drawnCodePoints(row.text);
        return !codePoints.empty() && !fontHasAll(raw, codePoints);
    });
}

void TCharacterInspector::showMissingCount(int count) {
    if (!FilterBox->isChecked()) {
        return;
    }
    if (MissingCount->parentWidget() != m_window.statusBar()) {
        m_window.statusBar()->addPermanentWidget(MissingCount);
    }
    const std::u16string number = IntToDecStr(count, Myformatsettings());
    MissingCount->setText(formatResource(ResId::VTMissingRows, {number}));
    MissingCount->show();
}

void TCharacterInspector::showContextMenu(QWidget* from, const QPoint& pos) {
    const QPoint global = from->mapToGlobal(pos);
    QMenu menu;
    menu.addAction(ShowAction);
    if (contextMenuExtras) {
        menu.addSeparator();
        contextMenuExtras(menu, global);
    }
    menu.exec(global);
}

}  // namespace runemeter
