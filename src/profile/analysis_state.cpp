// SPDX-License-Identifier: GPL-3.0-or-later
#include "profile/analysis_state.h"

namespace runemeter {

AnalysisState::AnalysisState() : CharCounts(std::make_unique<CharCountTable>()) {
    CharCounts->fill(0);
}

void AnalysisState::clear() {
    CharCounts->fill(0);
    SourceText.clear();
    SourceTextLength = 0;
    FilesRead = 0;
    UnicodeFileCount = 0;
    BigEndianFileCount = 0;
    Utf8FileCount = 0;
    CrLfCount = 0;
    Units.reset();
    Text = {};
}

}  // namespace runemeter
