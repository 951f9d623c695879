// SPDX-License-Identifier: GPL-3.0-or-later
// Writes one archive with many small text members, then runs a whole analysis over it and
// prints the time; for comparison it reads a sample of the members through a reader of its own
// each, the way a run would if it opened the archive once per member (every open parses the
// whole directory, so that way grows with the square of the member count), and scales it up.
//
//   runemeter_zip_members_bench [MEMBERS [SAMPLE]]     (defaults 100000 and 50)

#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "profile/analysis_run.h"
#include "suite/unicode_text.h"
#include "suite/zip_reader.h"

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool writeArchive(const std::filesystem::path& file, int members) {
    int error = 0;
    zip_t* za = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (za == nullptr)
        return false;
    static const char kText[] = "A short text member, counted character by character.\r\n";
    for (int i = 0; i < members; ++i) {
        zip_source_t* source = zip_source_buffer(za, kText, sizeof kText - 1, 0);
        const std::string name = "texts/" + std::to_string(i) + ".txt";
        if (source == nullptr || zip_file_add(za, name.c_str(), source, 0) < 0) {
            zip_source_free(source);
            zip_discard(za);
            return false;
        }
    }
    return zip_close(za) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    const int members = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100000;
    const auto folder = std::filesystem::temp_directory_path() /
                        ("runemeter-zip-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const auto archive = folder / "many.zip";
    if (!writeArchive(archive, members)) {
        std::fprintf(stderr, "cannot write %s\n", archive.c_str());
        std::filesystem::remove_all(folder);
        return 1;
    }

    runemeter::RunRequest request;
    request.path = runemeter::pathToDisplay(folder);
    request.fileMask = u"*.txt";
    runemeter::TFileAndDirIterator iterator;
    runemeter::AnalysisState state;
    runemeter::AnalysisObserver observer;
    if (!runemeter::CheckChosenPath(request, iterator))
        return 1;
    auto start = std::chrono::steady_clock::now();
    runemeter::runAnalysis(iterator, u"", state, observer);
    const double run = secondsSince(start);
    std::printf("whole run, archive opened once: %d members read in %.3f s\n",
                static_cast<int>(state.FilesRead), run);

    std::fflush(stdout);

    const int sample = std::min(members, argc > 2 ? std::max(0, std::atoi(argv[2])) : 50);
    start = std::chrono::steady_clock::now();
    std::vector<std::byte> buffer;
    int read = 0;
    for (int i = 0; i < sample; ++i) {
        runemeter::TUnZipReader reader;
        if (reader.open(archive) &&
            reader.UnZipToBufferByIndex(i, buffer) == runemeter::ZipReadStatus::Ok) {
            ++read;
        }
    }
    if (sample == 0) {
        std::filesystem::remove_all(folder);
        return 0;
    }
    const double perMember = secondsSince(start) / sample;
    std::printf("one open per member: %d of %d members in %.3f s, about %.1f s for all\n", read,
                sample, perMember * sample, perMember * members);
    std::filesystem::remove_all(folder);
    return 0;
}
