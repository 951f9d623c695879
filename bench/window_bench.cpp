// SPDX-License-Identifier: GPL-3.0-or-later
// Times the window's results list at its largest: every UTF-16 code unit counted, so 65,538 rows
// (the code units, the line-break row and the total row). Measures the step from a filled state
// to the list shown and painted, as at the end of a run, the Overview tab (groups and charts of
// the same rows) shown and painted, a page-by-page scroll to the end, the character inspector
// following a changed selection, and the "Missing from the list font" filter.
// Run it headless:
//
//   QT_QPA_PLATFORM=offscreen runemeter_window_bench [ROUNDS [SOURCE_CHARS]]
//
// ROUNDS (default 5): times the list is built and shown; SOURCE_CHARS (default 100000): length
// of the text of the last file, which the window shows beside the list.

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QPixmap>
#include <QTabWidget>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "frame/ui/main_form.h"
#include "results/ui/character_inspector.h"
#include "results/ui/overview_tab.h"
#include "results/ui/results_list.h"
#include "suite/ui/qt_text.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The profile has to be built within this time for the window to feel immediate.
constexpr double kShowBudgetSeconds = 0.3;
// The inspector must follow a new selection within this time (median), so arrows feel instant.
constexpr double kSelectBudgetSeconds = 0.02;
constexpr int kExpectedRows = 65536 + 2;

// Runs queued events (layout, paint requests) and paints the list's visible rows now.
void paintNow(runemeter::TLMDListBox& list) {
    QApplication::processEvents();
    const QPixmap painted = list.viewport()->grab();
    if (painted.isNull()) {
        std::fprintf(stderr, "the list could not be painted\n");
        std::exit(1);
    }
}

void fillEveryCodeUnit(runemeter::AnalysisState& state, int sourceChars, int round) {
    runemeter::CharCountTable& counts = *state.CharCounts;
    for (std::size_t code = 0; code < counts.size(); ++code) {
        // Different counts per round, so no round can reuse the rows of the one before.
        counts[code] = static_cast<std::int64_t>(code % 977) + 1 + round;
    }
    state.FilesRead = 1000;
    state.Utf8FileCount = 600;
    state.UnicodeFileCount = 300;
    state.BigEndianFileCount = 100;
    state.CrLfCount = 4321;
    state.SourceText.clear();
    state.SourceText.reserve(static_cast<std::size_t>(sourceChars));
    for (int i = 0; i < sourceChars; ++i) {
        state.SourceText.push_back(i % 61 == 60 ? u'\n' : static_cast<char16_t>(u'a' + i % 26));
    }
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int sourceChars = argc > 2 ? std::max(0, std::atoi(argv[2])) : 100000;

    // A home of its own: the window reads and writes its settings there, not in the user's.
    QTemporaryDir home;
    if (!home.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toLocal8Bit());
    QApplication app(argc, argv);

    runemeter::FormServices services;
    services.message = [](const QString& text, const QString&) {
        std::fprintf(stderr, "message: %s\n", text.toLocal8Bit().constData());
    };
    services.userFolder = [&home] { return runemeter::pathFromQString(home.path() + "/user"); };
    runemeter::TForm1 form(services);
    form.resize(900, 700);
    form.show();
    form.PageControl1->setCurrentWidget(form.TabSheetResults);
    runemeter::TLMDListBox& list = *form.LMDListBox1;
    paintNow(list);

    std::printf("window benchmark, platform %s, %d rounds\n",
                QApplication::platformName().toLocal8Bit().constData(), rounds);
    std::vector<double> shown;
    std::vector<double> built;
    for (int round = 0; round < rounds; ++round) {
        const Clock::time_point start = Clock::now();
        if (!form.ShowFilledState([&](runemeter::AnalysisState& state) {
                fillEveryCodeUnit(state, sourceChars, round);
            })) {
            std::fprintf(stderr, "the window refused the state\n");
            return 1;
        }
        built.push_back(secondsSince(start));
        paintNow(list);
        shown.push_back(secondsSince(start));
        if (list.Count() != kExpectedRows) {
            std::fprintf(stderr, "the list has %d rows, %d expected\n", list.Count(),
                         kExpectedRows);
            return 1;
        }
    }
    // The Overview tab of the last result: its groups, table and charts made and painted.
    std::vector<double> overview;
    for (int round = 0; round < rounds; ++round) {
        form.PageControl1->setCurrentWidget(form.TabSheetResults);
        form.ShowFilledState(
            [&](runemeter::AnalysisState& state) { fillEveryCodeUnit(state, 0, round); });
        paintNow(list);
        const Clock::time_point start = Clock::now();
        form.PageControl1->setCurrentWidget(form.TabSheetOverview);
        QApplication::processEvents();
        if (form.TabSheetOverview->grab().isNull() || form.TabSheetOverview->groups().empty()) {
            std::fprintf(stderr, "the overview could not be shown\n");
            return 1;
        }
        overview.push_back(secondsSince(start));
    }
    form.PageControl1->setCurrentWidget(form.TabSheetResults);
    paintNow(list);

    const double best = *std::min_element(shown.begin(), shown.end());
    std::printf("rows: %d\n", list.Count());
    std::printf("profile built and rows set:   best %.3f s, median %.3f s\n",
                *std::min_element(built.begin(), built.end()), median(built));
    std::printf(
        "profile built and list shown: best %.3f s, median %.3f s, worst %.3f s "
        "(budget %.1f s: %s)\n",
        best, median(shown), *std::max_element(shown.begin(), shown.end()), kShowBudgetSeconds,
        median(shown) <= kShowBudgetSeconds ? "within" : "OVER");

    std::printf(
        "overview (groups by script, table, two charts) shown: best %.3f s, median %.3f s "
        "(budget %.1f s: %s)\n",
        *std::min_element(overview.begin(), overview.end()), median(overview), kShowBudgetSeconds,
        median(overview) <= kShowBudgetSeconds ? "within" : "OVER");

    // Page down from the first row to the last, painting each page as the user would see it.
    list.setFocus();
    list.goToRow(0);
    paintNow(list);
    std::vector<double> pages;
    const Clock::time_point scrollStart = Clock::now();
    int last = list.currentIndex().row();
    while (last < list.Count() - 1) {
        const Clock::time_point pageStart = Clock::now();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_PageDown, Qt::NoModifier);
        QApplication::sendEvent(&list, &press);
        QApplication::sendEvent(&list, &release);
        paintNow(list);
        pages.push_back(secondsSince(pageStart));
        const int now = list.currentIndex().row();
        if (now <= last) {
            std::fprintf(stderr, "Page Down stopped at row %d of %d\n", now, list.Count());
            return 1;
        }
        last = now;
    }
    const double scrollSeconds = secondsSince(scrollStart);
    if (pages.empty()) {
        std::fprintf(stderr, "no page to scroll\n");
        return 1;
    }
    std::printf("scroll to the end: %zu pages in %.3f s, per page median %.2f ms, worst %.2f ms\n",
                pages.size(), scrollSeconds, median(pages) * 1e3,
                *std::max_element(pages.begin(), pages.end()) * 1e3);

    // Select rows across the list, one at a time, as arrow keys or clicks do: the inspector
    // builds its texts and finds the fonts, and is painted. Latin, symbols, CJK, surrogate
    // halves, private use: the first of each kind that the list font lacks searches the fonts.
    runemeter::TCharacterInspector& inspector = *form.CharacterInspector;
    std::vector<double> selections;
    for (int row = 0; row < list.Count(); row += 331) {
        const Clock::time_point selectStart = Clock::now();
        list.setCurrentIndex(list.model()->index(row, 0));
        QApplication::processEvents();
        if (inspector.grab().isNull()) {
            std::fprintf(stderr, "the inspector could not be painted\n");
            return 1;
        }
        selections.push_back(secondsSince(selectStart));
    }
    const double selectMedian = median(selections);
    std::printf(
        "inspector after a selection: %zu rows, median %.2f ms, worst %.2f ms (budget %.0f ms: "
        "%s)\n",
        selections.size(), selectMedian * 1e3,
        *std::max_element(selections.begin(), selections.end()) * 1e3, kSelectBudgetSeconds * 1e3,
        selectMedian <= kSelectBudgetSeconds ? "within" : "OVER");

    // The filter over every row, on and off.
    const Clock::time_point filterStart = Clock::now();
    inspector.FilterBox->setChecked(true);
    paintNow(list);
    const double filterOn = secondsSince(filterStart);
    const int missing = list.Count();
    const Clock::time_point unfilterStart = Clock::now();
    inspector.FilterBox->setChecked(false);
    paintNow(list);
    std::printf("filter \"missing from the list font\": on %.3f s (%d of %d rows), off %.3f s\n",
                filterOn, missing, list.Count(), secondsSince(unfilterStart));
    return median(shown) <= kShowBudgetSeconds && selectMedian <= kSelectBudgetSeconds ? 0 : 2;
}
