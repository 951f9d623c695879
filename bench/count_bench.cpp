// SPDX-License-Identifier: GPL-3.0-or-later
// Reads one file with TextAnalyser::AnalyseFile several times and prints the best throughput.
// Run it on a file already in the page cache to measure reading, decoding and counting.
//
//   runemeter_count_bench FILE [ROUNDS [PIECE_KIB [scalar|avx2|avx512|best]]]
//
// PIECE_KIB and the way of counting UTF-8 change how long texts are read and counted.

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "profile/analysis_observer.h"
#include "profile/analysis_state.h"
#include "profile/text_analyser.h"

namespace {

// CPU time of the process: on a machine shared with other work it shows the cost of the code
// itself, where the wall clock also shows the waiting.
double cpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

class PrintingObserver : public runemeter::AnalysisObserver {
public:
    void fileIsEmpty(const std::filesystem::path& file) override {
        std::fprintf(stderr, "%s: the file is empty\n", file.c_str());
    }
    void failedToRead(const std::filesystem::path& file, const std::string& reason) override {
        std::fprintf(stderr, "%s: cannot be read: %s\n", file.c_str(), reason.c_str());
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 5) {
        std::fprintf(stderr, "usage: %s FILE [ROUNDS [PIECE_KIB [scalar|avx2|avx512|best]]]\n",
                     argv[0]);
        return 2;
    }
    const std::filesystem::path file(argv[1]);
    const int rounds = argc >= 3 ? std::max(1, std::atoi(argv[2])) : 3;
    const std::size_t pieceKib = argc >= 4
                                     ? static_cast<std::size_t>(std::max(1, std::atoi(argv[3])))
                                     : runemeter::LongTextCounter::kDefaultPieceSize >> 10;
    const std::string wayName = argc >= 5 ? argv[4] : "best";
    const runemeter::Utf8Counting way = wayName == "scalar"   ? runemeter::Utf8Counting::Scalar
                                        : wayName == "avx2"   ? runemeter::Utf8Counting::Avx2
                                        : wayName == "avx512" ? runemeter::Utf8Counting::Avx512
                                                              : runemeter::Utf8Counting::Best;
    std::error_code error;
    const auto bytes = std::filesystem::file_size(file, error);
    if (error) {
        std::fprintf(stderr, "%s: %s\n", argv[1], error.message().c_str());
        return 1;
    }

    runemeter::AnalysisState state;
    PrintingObserver observer;
    runemeter::TextAnalyser analyser(state, observer);
    analyser.setLongTextCounting(pieceKib << 10, runemeter::LongTextCounter::kDefaultSplitFrom,
                                 way);
    double best = 0;
    double bestCpu = 0;
    for (int round = 0; round < rounds; ++round) {
        state.clear();
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = cpuSeconds();
        const bool read = analyser.AnalyseFile(file);
        const double cpu = cpuSeconds() - cpuStart;
        const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
        if (!read) {
            return 1;
        }
        const double mbPerSecond = static_cast<double>(bytes) / 1e6 / seconds.count();
        const double mbPerCpuSecond = static_cast<double>(bytes) / 1e6 / cpu;
        std::printf("round %d: %.3f s, %.0f MB/s (CPU %.3f s, %.0f MB/s)\n", round + 1,
                    seconds.count(), mbPerSecond, cpu, mbPerCpuSecond);
        best = std::max(best, mbPerSecond);
        bestCpu = std::max(bestCpu, mbPerCpuSecond);
    }
    long long units = 0;
    for (const auto count : *state.CharCounts) {
        units += count;
    }
    std::printf("%s: %.1f MB, %lld code units, best of %d: %.0f MB/s (per CPU second: %.0f MB/s)\n",
                argv[1], static_cast<double>(bytes) / 1e6, units, rounds, best, bestCpu);
    return 0;
}
