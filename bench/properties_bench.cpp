// SPDX-License-Identifier: GPL-3.0-or-later
// The table, CSV and group forms of the largest profile: every one of the 65,536 code units
// occurred. Prints the best CPU time of each form over a few rounds, and the size of its result
// (bytes of text, or groups).
//
//   runemeter_properties_bench [ROUNDS]

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "profile/profile.h"
#include "results/groups.h"
#include "results/output_forms.h"

namespace {

using namespace runemeter;

double cpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

template <typename Work>
void measure(const char* name, int rounds, Work work) {
    double best = 1e30;
    std::size_t bytes = 0;
    for (int round = 0; round < rounds; ++round) {
        const double start = cpuSeconds();
        bytes = work();
        best = std::min(best, cpuSeconds() - start);
    }
    std::printf("%-16s %8.1f ms  %10zu\n", name, best * 1000.0, bytes);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    AnalysisState state;
    std::fill(state.CharCounts->begin(), state.CharCounts->end(), 3);
    state.CrLfCount = 1;
    const Profile profile = BuildProfile(state, u"bench");
    std::printf("%zu rows\n", profile.rows.size());
    measure("table", rounds, [&] {
        return rowsToTable(profile.rows, profile.totalCharacters, false, TableForm::Table).size();
    });
    measure("csv", rounds, [&] {
        return rowsToTable(profile.rows, profile.totalCharacters, false, TableForm::Csv).size();
    });
    measure("json", rounds, [&] { return profileToJson(state, profile, false).size(); });
    for (const GroupKey key :
         {GroupKey::Script, GroupKey::Block, GroupKey::Category, GroupKey::Type}) {
        const std::string name = "groups " + std::string(groupKeyName(key));
        measure(name.c_str(), rounds, [&] { return groupRows(profile.rows, key).size(); });
    }
    return 0;
}
