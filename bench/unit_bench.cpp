// SPDX-License-Identifier: GPL-3.0-or-later
// The counting units and the normaliser on a large generated UTF-8 text, decoded once into
// UTF-16 and then fed to each stage in pieces, as the reading pipeline feeds them. Prints the
// best CPU throughput of each and its ratio to counting UTF-16 code units; also the decoding
// and the pipeline's direct UTF-8 counting, for the whole cost of a mode.
//
//   runemeter_unit_bench [MEGABYTES [ROUNDS]]

#include <time.h>
#include <unicode/ustring.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "profile/normalise_stage.h"
#include "profile/unit_counting.h"
#include "profile/utf8_count.h"

namespace {

using namespace runemeter;

double cpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// The word lists of bench/bench.py's mixed file; the joining text adds scripts and emoji whose
// characters join into clusters (Devanagari, ZWJ sequences, flags, skin tones, e + U+0301).
const std::vector<std::string> kMixed = {
    "the",    "of",     "and",    "to",      "in",     "is",     "was",     "for",     "on",
    "that",   "with",   "as",     "by",      "at",     "from",   "his",     "her",     "they",
    "have",   "this",   "not",    "are",     "but",    "had",    "which",   "one",     "über",
    "größer", "schön",  "Straße", "Mädchen", "Bäcker", "fünf",   "Grüße",   "heißen",  "été",
    "déjà",   "où",     "façade", "naïve",   "cœur",   "garçon", "noël",    "fenêtre", "très",
    "και",    "του",    "της",    "το",      "να",     "είναι",  "θάλασσα", "ουρανός", "ήλιος",
    "νύχτα",  "ψάρι",   "и",      "в",       "не",     "на",     "что",     "он",      "с",
    "как",    "это",    "по",     "мельник", "мука",   "сосед",  "春の朝",  "桜が",    "三つ咲いた",
    "子ども", "花びら", "数えて", "百まで",  "東京",   "北京",   "学生",    "في",      "من",
    "على",    "إلى",    "الذي",   "هذا",     "كتاب",   "مدرسة",  "بيت",     "😀",       "🚀",
    "👍"};
const std::vector<std::string> kJoining = {"नमस्ते",
                                           "भारत",
                                           "क्षत्रिय",
                                           "हिन्दी",
                                           "विद्यालय",
                                           "👨‍👩‍👧",
                                           "👍🏽",
                                           "🇩🇪",
                                           "🇫🇷",
                                           "cafe\xCC\x81",
                                           "ne\xCC\x81"
                                           "e",
                                           "한국어",
                                           "ภาษาไทย",
                                           "தமிழ்"};

std::string generate(std::size_t bytes, bool joining) {
    std::mt19937 rng(16);
    std::vector<std::string> words = kMixed;
    if (joining) {
        words.insert(words.end(), kJoining.begin(), kJoining.end());
    }
    std::string text;
    while (text.size() < bytes) {
        const int count = std::uniform_int_distribution<int>(5, 14)(rng);
        for (int i = 0; i < count; ++i) {
            text += words[rng() % words.size()];
            text += i + 1 < count ? " " : ".\n";
        }
    }
    return text;
}

constexpr std::size_t kPiece = 128 << 10;  // units: about the pipeline's 256 KiB pieces

double best(int rounds, const std::function<void()>& run) {
    double fastest = 1e300;
    for (int round = 0; round < rounds; ++round) {
        const double start = cpuSeconds();
        run();
        fastest = std::min(fastest, cpuSeconds() - start);
    }
    return fastest;
}

void feed(const std::u16string& text, const std::function<void(std::u16string_view)>& add) {
    for (std::size_t i = 0; i < text.size(); i += kPiece) {
        add(std::u16string_view(text).substr(i, kPiece));
    }
}

void benchText(const char* name, const std::string& utf8, int rounds) {
    const double mb = static_cast<double>(utf8.size()) / 1e6;
    std::u16string text;
    const double decode = best(rounds, [&] {
        UErrorCode status = U_ZERO_ERROR;
        std::int32_t length = 0;
        text.resize(utf8.size());
        u_strFromUTF8(text.data(), std::int32_t(text.size()), &length, utf8.data(),
                      std::int32_t(utf8.size()), &status);
        text.resize(std::size_t(length));
    });
    const double direct = best(rounds, [&] {
        static LaneTables lanes;
        countUtf8Units(std::as_bytes(std::span(utf8.data(), utf8.size())), lanes);
    });
    std::printf("%s: %.0f MB of UTF-8, %zu UTF-16 units\n", name, mb, text.size());
    std::printf("  %-34s %8.0f MB/s\n", "decoding to UTF-16 (ICU)", mb / decode);
    std::printf("  %-34s %8.0f MB/s\n", "pipeline: UTF-8 counted directly", mb / direct);
    double unitSeconds = 0;
    const auto report = [&](const char* what, CountingUnit unit, Normalisation form) {
        std::int64_t total = 0;
        double seconds = 1e300;
        for (int round = 0; round < rounds; ++round) {  // the tables are made before timing
            const auto counter = makeUnitCounter(unit);
            NormaliseStage stage(form, *counter);
            seconds = std::min(seconds, best(1, [&] {
                                   feed(text, [&](std::u16string_view piece) { stage.add(piece); });
                                   stage.finish();
                                   counter->finish();
                               }));
            total = counter->total();
        }
        if (unit == CountingUnit::Utf16 && form == Normalisation::None) {
            unitSeconds = seconds;
        }
        std::printf("  %-34s %8.0f MB/s  %5.2fx code units  %5.2fx with decoding  (%lld units)\n",
                    what, mb / seconds, unitSeconds / seconds,
                    (unitSeconds + decode) / (seconds + decode), static_cast<long long>(total));
    };
    report("UTF-16 code units", CountingUnit::Utf16, Normalisation::None);
    report("code points", CountingUnit::CodePoint, Normalisation::None);
    report("grapheme clusters", CountingUnit::Grapheme, Normalisation::None);
    report("NFC, code units", CountingUnit::Utf16, Normalisation::Nfc);
    report("NFD, code units", CountingUnit::Utf16, Normalisation::Nfd);
    report("NFKC, code points", CountingUnit::CodePoint, Normalisation::Nfkc);
    report("NFC, grapheme clusters", CountingUnit::Grapheme, Normalisation::Nfc);
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t megabytes = argc >= 2 ? std::strtoul(argv[1], nullptr, 10) : 64;
    const int rounds = argc >= 3 ? std::max(1, std::atoi(argv[2])) : 3;
    std::printf(
        "MB/s are megabytes of UTF-8 text per CPU second; ratios are to counting code\n"
        "units, on their own and with the decoding both need added.\n");
    benchText("mixed", generate(megabytes << 20, false), rounds);
    benchText("mixed with joining scripts", generate(megabytes << 20, true), rounds);
    return 0;
}
