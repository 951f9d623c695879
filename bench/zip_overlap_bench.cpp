// SPDX-License-Identifier: GPL-3.0-or-later
// Writes an archive whose directory lists many entries on the data of one large deflated member
// (each entry would unpack the whole member again), then prints how long opening it takes to
// refuse it, beside libzip's own open of it, and how long a whole run over the folder holding it
// takes, with the message the run gives and the peak memory of the process.
//
//   runemeter_zip_overlap_bench [ENTRIES [MEBIBYTES]]     (defaults 64 and 1024)

#include <sys/resource.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "profile/analysis_run.h"
#include "suite/unicode_text.h"
#include "suite/zip_reader.h"
#include "support/zip_forge.h"

namespace {

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

class Messages : public runemeter::AnalysisObserver {
public:
    void archiveProblem(const std::filesystem::path& archive, const std::string& reason) override {
        std::printf("  message: %s: %s\n", archive.filename().c_str(), reason.c_str());
    }
};

}  // namespace

int main(int argc, char** argv) {
    const int entries = argc > 1 ? std::max(1, std::atoi(argv[1])) : 64;
    const auto mebibytes =
        static_cast<std::uint32_t>(argc > 2 ? std::max(1, std::atoi(argv[2])) : 1024);
    runemeter::test::ForgedMember member = runemeter::test::deflatedMember("0.txt", "");
    member.payload = runemeter::test::deflateBomb(mebibytes, member.crc);
    member.compressedSize = member.payload.size();
    member.uncompressedSize = std::uint64_t{mebibytes} << 20;
    member.zip64 = member.uncompressedSize >= 0xFFFFFFFFu;
    // The other entries are written into the directory only, each pointing at the first's data.
    runemeter::test::ForgedMember entry = member;
    entry.payload.clear();
    entry.localOffset = 0;
    entry.local = false;
    std::vector<runemeter::test::ForgedMember> members(static_cast<std::size_t>(entries), entry);
    members[0] = std::move(member);
    for (int i = 1; i < entries; ++i)
        members[static_cast<std::size_t>(i)].name = std::to_string(i) + ".txt";
    const auto folder = std::filesystem::temp_directory_path() /
                        ("runemeter-zip-overlap-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const auto archive = folder / "overlap.zip";
    {
        std::ofstream out(archive, std::ios::binary);
        out << runemeter::test::forgeZip(members);
    }
    std::printf("%s: %ju bytes, %d entries on one member of %u MiB (%ju MiB if each were read)\n",
                archive.c_str(), static_cast<std::uintmax_t>(std::filesystem::file_size(archive)),
                entries, mebibytes, static_cast<std::uintmax_t>(mebibytes) * entries);

    // libzip's own open, for comparison: what the check adds is the difference.
    auto start = std::chrono::steady_clock::now();
    int code = 0;
    zip_t* bare = zip_open(archive.c_str(), ZIP_RDONLY, &code);
    std::printf("libzip's open alone: %.2f ms\n", millisecondsSince(start));
    if (bare != nullptr)
        zip_discard(bare);

    start = std::chrono::steady_clock::now();
    runemeter::TUnZipReader reader;
    const bool opened = reader.open(archive);
    std::printf("open: %s in %.2f ms%s%s\n", opened ? "accepted" : "refused",
                millisecondsSince(start), opened ? "" : ": ", reader.error().c_str());

    runemeter::RunRequest request;
    request.path = runemeter::pathToDisplay(folder);
    request.fileMask = u"*.txt";
    runemeter::TFileAndDirIterator iterator;
    runemeter::AnalysisState state;
    Messages observer;
    if (!runemeter::CheckChosenPath(request, iterator))
        return 1;
    start = std::chrono::steady_clock::now();
    runemeter::runAnalysis(iterator, u"", state, observer);
    const double run = millisecondsSince(start);
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("whole run: %d members read in %.2f ms; peak memory of the process %ld MiB\n",
                static_cast<int>(state.FilesRead), run, usage.ru_maxrss / 1024);
    std::filesystem::remove_all(folder);
    return opened ? 1 : 0;
}
