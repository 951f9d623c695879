#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "suite/file_iterator.h"
#include "support/temp_tree.h"

namespace runemeter {
namespace {

using test::TempDir;
using test::writeFile;
using test::writeZip;

// --- masks -----------------------------------------------------------------------------------

struct MaskCase {
    const char* name;
    std::u16string mask;
    std::u16string file;
    bool matches;
};

// Test names show the row name, not a dump of the row.
void PrintTo(const MaskCase& row, std::ostream* os) {
    *os << row.name;
}

class MaskTable : public ::testing::TestWithParam<MaskCase> {};

TEST_P(MaskTable, Matches) {
    EXPECT_EQ(matchesFileMask(GetParam().file, GetParam().mask), GetParam().matches);
}

INSTANTIATE_TEST_SUITE_P(
    Table, MaskTable,
    ::testing::Values(MaskCase{"star_ext", u"*.txt", u"a.txt", true},
                      MaskCase{"star_ext_other_ext", u"*.txt", u"a.txt.bak", false},
                      MaskCase{"star_ext_html_not_htm", u"*.htm", u"page.html", false},
                      MaskCase{"name_upper_case", u"*.txt", u"NOTES.TXT", true},
                      MaskCase{"mask_upper_case", u"*.TXT", u"notes.txt", true},
                      MaskCase{"non_ascii_case", u"\u00C4*.txt", u"\u00E4pfel.txt", true},
                      MaskCase{"question_one_char", u"?.txt", u"a.txt", true},
                      MaskCase{"question_not_two", u"?.txt", u"ab.txt", false},
                      MaskCase{"question_not_zero", u"?.txt", u".txt", false},
                      MaskCase{"question_accented", u"?.txt", u"\u00E9.txt", true},
                      MaskCase{"question_astral_is_one", u"?.txt", u"\U0001F600.txt", true},
                      MaskCase{"stars_inside", u"a*b*c", u"aXXbYYc", true},
                      MaskCase{"stars_inside_missing_end", u"a*b*c", u"aXXbYY", false},
                      MaskCase{"star_backtracks", u"*ab", u"aaab", true},
                      MaskCase{"several_second", u"*.txt;*.md", u"x.md", true},
                      MaskCase{"several_blanks", u"  *.md ;\t*.txt ", u"x.txt", true},
                      MaskCase{"several_none", u"*.txt;*.md", u"x.htm", false},
                      MaskCase{"empty_parts_skipped", u";*.md;;", u"x.txt", false},
                      MaskCase{"all_star_dot_star", u"*.*", u"README", true},
                      MaskCase{"name_dot_star_bare", u"readme.*", u"readme", true},
                      MaskCase{"name_dot_star_ext", u"readme.*", u"readme.md", true},
                      MaskCase{"name_dot_star_other", u"readme.*", u"readmenot", false},
                      MaskCase{"exact_name", u"notes.txt", u"notes.txt", true},
                      MaskCase{"exact_name_other", u"notes.txt", u"notes.txt2", false},
                      MaskCase{"no_mask_all", u"", u"a.bin", true},
                      MaskCase{"blank_mask_all", u" ; ", u"a.bin", true},
                      MaskCase{"replacement_char_name", u"bad*.txt", u"bad\uFFFD.txt", true}),
    [](const auto& info) { return std::string(info.param.name); });

// --- walking folders -------------------------------------------------------------------------

class Recorder : public FileIteratorObserver {
public:
    void foundDir(const std::filesystem::path& dir) override { dirs.push_back(dir); }
    void problem(const std::filesystem::path& where, const std::string& reason) override {
        problems.push_back(where);
        reasons.push_back(reason);
    }
    bool stopRequested() override { return stopAfterDirs > 0 && dirs.size() >= stopAfterDirs; }

    std::vector<std::filesystem::path> dirs;
    std::vector<std::filesystem::path> problems;
    std::vector<std::string> reasons;
    std::size_t stopAfterDirs = 0;
};

struct Processed {
    std::string name;  // relative to the temporary folder
    TMySearchRec rec;
};

std::vector<Processed> processAll(TFileAndDirIterator& iterator,
                                  const std::filesystem::path& base) {
    std::vector<Processed> out;
    iterator.ProcessAllFilesFound([&](const std::filesystem::path& name, const TMySearchRec& rec) {
        out.push_back({name.lexically_relative(base).string(), rec});
    });
    return out;
}

std::vector<std::string> names(const std::vector<Processed>& processed) {
    std::vector<std::string> out;
    for (const auto& p : processed)
        out.push_back(p.name);
    return out;
}

std::vector<std::string> relative(const std::vector<std::filesystem::path>& paths,
                                  const std::filesystem::path& base) {
    std::vector<std::string> out;
    for (const auto& p : paths)
        out.push_back(p.lexically_relative(base).string());
    return out;
}

class IteratorTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* f : {"b.txt", "a.txt", "Z.TXT", "c.md", "sub/d.txt", "sub/deeper/e.txt",
                              "sub2/f.txt", "sub2/g.md"}) {
            writeFile(dir / f, std::string("text of ") + f);
        }
    }

    std::vector<std::string> search(std::u16string mask, bool subFolders) {
        TFileAndDirIterator iterator;
        iterator.HeadDir = dir.path();
        iterator.FileMask = std::move(mask);
        iterator.IncludeSubFolders = subFolders;
        iterator.IterateFindingFiles(recorder);
        const auto found = names(processAll(iterator, dir.path()));
        EXPECT_EQ(iterator.filesFound(), static_cast<std::int64_t>(found.size()));
        return found;
    }

    TempDir dir;
    Recorder recorder;
};

using Names = std::vector<std::string>;

struct WalkCase {
    const char* name;
    std::u16string mask;
    bool subFolders;
    Names expected;
};

// Test names show the row name, not a dump of the row.
void PrintTo(const WalkCase& row, std::ostream* os) {
    *os << row.name;
}

class WalkTable : public IteratorTest, public ::testing::WithParamInterface<WalkCase> {};

TEST_P(WalkTable, FindsInNameOrderFilesBeforeSubFolders) {
    EXPECT_EQ(search(GetParam().mask, GetParam().subFolders), GetParam().expected);
    EXPECT_TRUE(recorder.problems.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, WalkTable,
    ::testing::Values(
        WalkCase{"txt_top_only", u"*.txt", false, {"Z.TXT", "a.txt", "b.txt"}},
        WalkCase{"txt_with_sub_folders",
                 u"*.txt",
                 true,
                 {"Z.TXT", "a.txt", "b.txt", "sub/d.txt", "sub/deeper/e.txt", "sub2/f.txt"}},
        WalkCase{"md_with_sub_folders", u"*.md", true, {"c.md", "sub2/g.md"}},
        WalkCase{"two_masks_top", u"*.md; ?.txt", false, {"Z.TXT", "a.txt", "b.txt", "c.md"}},
        WalkCase{"no_match", u"*.xml", true, {}},
        WalkCase{"every_file_top", u"*.*", false, {"Z.TXT", "a.txt", "b.txt", "c.md"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(IteratorTest, ReportsEveryFolderVisitedInWalkOrder) {
    search(u"*.txt", true);
    EXPECT_EQ(relative(recorder.dirs, dir.path()), (Names{".", "sub", "sub/deeper", "sub2"}));
    recorder.dirs.clear();
    search(u"*.txt", false);
    EXPECT_EQ(relative(recorder.dirs, dir.path()), Names{"."});
}

TEST_F(IteratorTest, FindsANameThatIsNotValidUtf8) {
    writeFile(dir / "bad\xFFname.txt", "x");
    EXPECT_EQ(search(u"bad?name.txt", false), Names{"bad\xFFname.txt"});
    const auto all = search(u"*.txt", false);
    EXPECT_EQ(all.size(), 4u);
}

TEST_F(IteratorTest, SymbolicLinkLoopEndsAndCountsEachFileOnce) {
    std::filesystem::create_directory_symlink(dir.path(), dir / "sub/back-to-top");
    std::filesystem::create_directory_symlink(dir / "sub", dir / "sub2/link-to-sub");
    const auto found = search(u"*.txt", true);
    EXPECT_EQ(found,
              (Names{"Z.TXT", "a.txt", "b.txt", "sub/d.txt", "sub/deeper/e.txt", "sub2/f.txt"}));
}

TEST_F(IteratorTest, LinkToAFileIsFoundAndDanglingLinkIsNot) {
    std::filesystem::create_symlink(dir / "sub/d.txt", dir / "link.txt");
    std::filesystem::create_symlink(dir / "nowhere.txt", dir / "dangling.txt");
    EXPECT_EQ(search(u"*.txt", false), (Names{"Z.TXT", "a.txt", "b.txt", "link.txt"}));
}

TEST_F(IteratorTest, LinkedFolderOutsideTheTreeIsSearched) {
    TempDir other;
    writeFile(other / "outside.txt", "x");
    std::filesystem::create_directory_symlink(other.path(), dir / "sub2/linked");
    const auto found = search(u"outside.txt", true);
    EXPECT_EQ(found, Names{"sub2/linked/outside.txt"});
}

TEST_F(IteratorTest, FifoIsSkipped) {
    ASSERT_EQ(::mkfifo((dir / "pipe.txt").c_str(), 0600), 0);
    EXPECT_EQ(search(u"*.txt", false), (Names{"Z.TXT", "a.txt", "b.txt"}));
}

TEST_F(IteratorTest, UnreadableFolderIsReportedAndSkipped) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads every folder";
    std::filesystem::permissions(dir / "sub", std::filesystem::perms::none);
    const auto found = search(u"*.txt", true);
    EXPECT_EQ(found, (Names{"Z.TXT", "a.txt", "b.txt", "sub2/f.txt"}));
    EXPECT_EQ(recorder.problems, std::vector<std::filesystem::path>{dir / "sub"});
}

TEST_F(IteratorTest, MissingHeadFolderIsAProblemNotACrash) {
    TFileAndDirIterator iterator;
    iterator.HeadDir = dir / "missing";
    iterator.IterateFindingFiles(recorder);
    EXPECT_EQ(iterator.filesFound(), 0);
    EXPECT_EQ(recorder.problems.size(), 1u);
}

TEST_F(IteratorTest, ExactNameTakesOnlyThatFileEvenWithMaskCharacters) {
    writeFile(dir / "a;b.txt", "x");
    writeFile(dir / "sub/a;b.txt", "x");
    writeFile(dir / "A;B.TXT", "x");
    TFileAndDirIterator iterator;
    iterator.HeadDir = dir.path();
    iterator.ExactFileName = "a;b.txt";
    iterator.IterateFindingFiles(recorder);
    EXPECT_EQ(names(processAll(iterator, dir.path())), Names{"a;b.txt"});
    iterator.IncludeSubFolders = true;
    iterator.IterateFindingFiles(recorder);
    EXPECT_EQ(names(processAll(iterator, dir.path())), (Names{"a;b.txt", "sub/a;b.txt"}));
}

TEST_F(IteratorTest, HiddenEntriesAreLeftOutUnlessAskedForOrNamed) {
    writeFile(dir / ".draft.txt", "x");
    writeFile(dir / ".git/HEAD.txt", "x");
    writeFile(dir / "sub/.cache/x.txt", "x");
    EXPECT_EQ(search(u"*.txt", true),
              (Names{"Z.TXT", "a.txt", "b.txt", "sub/d.txt", "sub/deeper/e.txt", "sub2/f.txt"}));
    EXPECT_EQ(relative(recorder.dirs, dir.path()), (Names{".", "sub", "sub/deeper", "sub2"}));

    TFileAndDirIterator iterator;
    iterator.HeadDir = dir.path();
    iterator.IncludeSubFolders = true;
    iterator.IncludeHidden = true;
    iterator.FileMask = u"*.txt";
    iterator.IterateFindingFiles(recorder);
    EXPECT_EQ(iterator.filesFound(), 9);

    iterator.IncludeHidden = false;
    iterator.ExactFileName = ".draft.txt";
    iterator.IterateFindingFiles(recorder);
    EXPECT_EQ(names(processAll(iterator, dir.path())), Names{".draft.txt"});
}

// --- stopping --------------------------------------------------------------------------------

TEST_F(IteratorTest, StopDuringTheSearchEndsItAndNothingIsProcessed) {
    recorder.stopAfterDirs = 1;
    TFileAndDirIterator iterator;
    iterator.HeadDir = dir.path();
    iterator.FileMask = u"*.txt";
    iterator.IncludeSubFolders = true;
    iterator.IterateFindingFiles(recorder);
    EXPECT_EQ(recorder.dirs.size(), 1u);
    EXPECT_TRUE(processAll(iterator, dir.path()).empty());
}

TEST_F(IteratorTest, StopInsideProcessingEndsBeforeTheNextFile) {
    TFileAndDirIterator iterator;
    iterator.HeadDir = dir.path();
    iterator.FileMask = u"*.txt";
    iterator.IterateFindingFiles(recorder);
    ASSERT_EQ(iterator.filesFound(), 3);
    int calls = 0;
    iterator.ProcessAllFilesFound([&](const std::filesystem::path&, const TMySearchRec&) {
        ++calls;
        iterator.Stop();
    });
    EXPECT_EQ(calls, 1);
    // A new search starts afresh.
    iterator.IterateFindingFiles(recorder);
    EXPECT_EQ(processAll(iterator, dir.path()).size(), 3u);
}

// --- zip archives ----------------------------------------------------------------------------

class ZipIteratorTest : public IteratorTest {
protected:
    void SetUp() override {
        IteratorTest::SetUp();
        writeZip(dir / "pack.zip", {{"one.txt", "first"},
                                    {"sub/", ""},
                                    {"sub/two.txt", "second"},
                                    {"three.md", "third"},
                                    {"empty.txt", ""},
                                    {"/abs.txt", "absolute"}});
    }

    std::vector<Processed> searchZips(std::u16string mask, bool readZips, bool subFolders) {
        TFileAndDirIterator iterator;
        iterator.HeadDir = dir.path();
        iterator.FileMask = std::move(mask);
        iterator.ReadZipfiles = readZips;
        iterator.IncludeSubFolders = subFolders;
        iterator.IterateFindingFiles(recorder);
        return processAll(iterator, dir.path());
    }
};

TEST_F(ZipIteratorTest, MatchingMembersAreFoundWithTheirNumbersInNameOrder) {
    const auto found = searchZips(u"*.txt", true, false);
    EXPECT_EQ(names(found),
              (Names{"Z.TXT", "a.txt", "b.txt", "pack.zip/abs.txt", "pack.zip/empty.txt",
                     "pack.zip/one.txt", "pack.zip/sub/two.txt"}));
    struct Expected {
        std::size_t at;
        std::int32_t number;
        const char* member;
    };
    for (const Expected e : {Expected{3, 6, "/abs.txt"}, Expected{4, 5, "empty.txt"},
                             Expected{5, 1, "one.txt"}, Expected{6, 3, "sub/two.txt"}}) {
        SCOPED_TRACE(e.member);
        EXPECT_EQ(found[e.at].rec.zipMemberNumber, e.number);
        EXPECT_EQ(found[e.at].rec.memberName, e.member);
        EXPECT_EQ(found[e.at].rec.archive, dir / "pack.zip");
        EXPECT_EQ(TFileAndDirIterator::ZipFileFullFileName(found[e.at].rec), dir / "pack.zip");
    }
    EXPECT_EQ(found[0].rec.zipMemberNumber, 0);
    EXPECT_TRUE(found[0].rec.archive.empty());
}

TEST_F(ZipIteratorTest, ZipReadingOffMakesTheArchiveAnOrdinaryFile) {
    EXPECT_EQ(names(searchZips(u"*.txt", false, false)), (Names{"Z.TXT", "a.txt", "b.txt"}));
    EXPECT_EQ(names(searchZips(u"*.zip", false, false)), Names{"pack.zip"});
    // With zip reading on, the archive is not itself a file found.
    EXPECT_EQ(names(searchZips(u"*.zip", true, false)), Names{});
}

TEST_F(ZipIteratorTest, ArchivesInSubFoldersAndUpperCaseExtensions) {
    writeZip(dir / "sub/INNER.ZIP", {{"x.md", "x"}});
    EXPECT_EQ(names(searchZips(u"*.md", true, true)),
              (Names{"c.md", "pack.zip/three.md", "sub/INNER.ZIP/x.md", "sub2/g.md"}));
}

TEST_F(ZipIteratorTest, DamagedArchiveIsReportedAndTheSearchGoesOn) {
    writeFile(dir / "broken.zip", std::string(300, 'z'));
    const std::string whole = test::readFile(dir / "pack.zip");
    writeFile(dir / "sub/cut.zip", whole.substr(0, whole.size() / 2));
    const auto found = searchZips(u"one.txt;d.txt", true, true);
    EXPECT_EQ(names(found), (Names{"pack.zip/one.txt", "sub/d.txt"}));
    EXPECT_EQ(recorder.problems,
              (std::vector<std::filesystem::path>{dir / "broken.zip", dir / "sub/cut.zip"}));
    for (const auto& reason : recorder.reasons)
        EXPECT_FALSE(reason.empty());
}

TEST_F(ZipIteratorTest, HiddenMembersAreLeftOut) {
    writeZip(dir / "mac.zip", {{"notes.txt", "n"},
                               {"__MACOSX/._notes.txt", "fork"},
                               {".hidden/x.txt", "x"},
                               {"./dot.txt", "d"}});
    EXPECT_EQ(names(searchZips(u"*.txt", true, false)),
              (Names{"Z.TXT", "a.txt", "b.txt", "mac.zip/./dot.txt", "mac.zip/notes.txt",
                     "pack.zip/abs.txt", "pack.zip/empty.txt", "pack.zip/one.txt",
                     "pack.zip/sub/two.txt"}));
}

TEST_F(ZipIteratorTest, MemberMaskCanDifferFromTheFileMask) {
    TFileAndDirIterator iterator;
    iterator.HeadDir = dir.path();
    iterator.ExactFileName = "pack.zip";
    iterator.ZipMemberMask = u"*.md";
    iterator.IterateFindingFiles(recorder);
    EXPECT_EQ(names(processAll(iterator, dir.path())), Names{"pack.zip/three.md"});
}

}  // namespace
}  // namespace runemeter
