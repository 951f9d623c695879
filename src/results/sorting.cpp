// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/sorting.h"

#include <algorithm>

namespace runemeter {

int CompareRowsByText(const ProfileRow& a, const ProfileRow& b) {
    // char16_t is unsigned, so this compares code unit by code unit.
    const int c = a.text.compare(b.text);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int CompareRowsByFrequency(const ProfileRow& a, const ProfileRow& b) {
    if (a.frequency == b.frequency) {
        return 0;
    }
    return a.frequency > b.frequency ? -1 : 1;
}

void sortRowsBySection(std::vector<ProfileRow>& rows, int sectionIndex) {
    // Stable, so rows with equal keys keep their code order: the same click always gives the
    // same list.
    if (sectionIndex >= 0 && sectionIndex <= 2) {
        std::stable_sort(rows.begin(), rows.end(), [](const ProfileRow& a, const ProfileRow& b) {
            return CompareRowsByText(a, b) < 0;
        });
    } else if (sectionIndex >= 3 && sectionIndex <= 4) {
        std::stable_sort(rows.begin(), rows.end(), [](const ProfileRow& a, const ProfileRow& b) {
            return CompareRowsByFrequency(a, b) < 0;
        });
    }
}

}  // namespace runemeter
