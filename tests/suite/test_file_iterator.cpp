// SPDX-License-Identifier: GPL-3.0-or-later
#include "suite/file_iterator.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "suite/unicode_text.h"
#include "support/files.h"

namespace runemeter {
namespace {

namespace fs = std::filesystem;
using test::writeFile;
using Names = std::vector<std::string>;

TEST(FileMask, MatchesCaseBlindWithStarsQuestionMarksAndSeveralMasks) {
    const struct {
        std::u16string mask;
        std::vector<std::u16string> matching, other;
    } rows[] = {
        {u"\u00C4*.TXT", {u"\u00E4pfel.txt", u"\u00C4B.txt"}, {u"\u00E4.txt.bak", u"\u00E4.htm"}},
        {u"?.txt", {u"a.txt", u"\U0001F600.txt"}, {u"ab.txt", u".txt"}},
        {u"a*b*c", {u"aXXbYYc"}, {u"aXXbYY"}},
        {u"*ab", {u"aaab"}, {}},
        {u" ;*.md ;;\t*.txt ", {u"x.txt", u"x.md"}, {u"x.htm"}},
        {u"*.*", {u"README", u"a.b"}, {}},
        {u"readme.*", {u"readme", u"readme.md"}, {u"readmenot"}},
        {u" ; ", {u"a.bin"}, {}},
    };
    for (const auto& row : rows) {
        for (const auto& name : row.matching)
            EXPECT_TRUE(matchesFileMask(name, row.mask)) << utf16ToUtf8(row.mask + u" " + name);
        for (const auto& name : row.other)
            EXPECT_FALSE(matchesFileMask(name, row.mask)) << utf16ToUtf8(row.mask + u" " + name);
    }
}

class Walk : public ::testing::Test, public FileIteratorObserver {
protected:
    void SetUp() override {
        for (const char* f : {"b.txt", "a.txt", "Z.TXT", "c.md", "sub/d.txt", "sub/deeper/e.txt",
                              "sub2/f.txt", "sub2/g.md", "../other/outside.txt"}) {
            writeFile(dir / f, "text");
        }
        // Links to a file and to a folder elsewhere are followed, a dangling one is nothing.
        fs::create_symlink(dir / "sub/d.txt", dir / "link.txt");
        fs::create_symlink(dir / "nowhere.txt", dir / "dangling.txt");
        fs::create_directory_symlink(dir / "../other", dir / "sub2/linked");
        iterator.HeadDir = dir;
        iterator.FileMask = u"*.txt";
    }
    void foundDir(const fs::path& d) override { dirs.push_back(d.lexically_relative(dir)); }
    void problem(const fs::path& where, const std::string& reason) override {
        problems.push_back(where.lexically_relative(dir).string());
        EXPECT_FALSE(reason.empty());
    }
    bool stopRequested() override { return stopAfterDirs > 0 && dirs.size() >= stopAfterDirs; }

    // The names found, relative to the folder; archive members with their number and name.
    Names search() {
        dirs.clear();
        iterator.IterateFindingFiles(*this);
        Names found;
        iterator.ProcessAllFilesFound([&](const fs::path& name, const TMySearchRec& rec) {
            found.push_back(name.lexically_relative(dir).string());
            if (rec.zipMemberNumber != 0)
                found.back() += " #" + std::to_string(rec.zipMemberNumber) + " " + rec.memberName;
        });
        EXPECT_TRUE(iterator.stopped() ||
                    iterator.filesFound() == static_cast<std::int64_t>(found.size()));
        return found;
    }

    test::TempDir top;
    fs::path dir = top / "dir";
    TFileAndDirIterator iterator;
    std::vector<fs::path> dirs;
    Names problems;
    std::size_t stopAfterDirs = 0;
};

TEST_F(Walk, FilesInByteOrderThenEachSubFolderWithAllItHoldsUntilStopped) {
    EXPECT_EQ(search(), (Names{"Z.TXT", "a.txt", "b.txt", "link.txt"}));
    iterator.IncludeSubFolders = true;
    EXPECT_EQ(search(), (Names{"Z.TXT", "a.txt", "b.txt", "link.txt", "sub/d.txt",
                               "sub/deeper/e.txt", "sub2/f.txt", "sub2/linked/outside.txt"}));
    EXPECT_EQ(dirs, (std::vector<fs::path>{".", "sub", "sub/deeper", "sub2", "sub2/linked"}));
    iterator.FileMask = u"*.md; ?.txt";
    iterator.IncludeSubFolders = false;
    EXPECT_EQ(search(), (Names{"Z.TXT", "a.txt", "b.txt", "c.md"}));
    EXPECT_TRUE(problems.empty());
    iterator.HeadDir = dir / "missing";
    EXPECT_EQ(search(), Names{});
    EXPECT_EQ(problems, Names{"missing"});
    // A stop ends the search; the next search starts afresh.
    iterator.HeadDir = dir;
    iterator.IncludeSubFolders = true;
    stopAfterDirs = 1;
    EXPECT_EQ(search(), Names{});
    EXPECT_EQ(dirs.size(), 1u);
    stopAfterDirs = 0;
    EXPECT_EQ(search().size(), 8u);
}

TEST_F(Walk, HiddenEntriesAreLeftOutUnlessAskedForOrNamedExactly) {
    for (const char* f :
         {".draft.txt", ".git/x.txt", "sub/.cache/x.txt", "a;b.txt", "sub/a;b.txt", "A;B.TXT"})
        writeFile(dir / f, "x");
    iterator.IncludeSubFolders = true;
    EXPECT_EQ(search().size(), 11u);
    iterator.IncludeHidden = true;
    EXPECT_EQ(search().size(), 14u);
    EXPECT_EQ(dirs.size(), 7u);
    iterator.IncludeHidden = false;
    iterator.ExactFileName = "a;b.txt";  // not a mask
    EXPECT_EQ(search(), (Names{"a;b.txt", "sub/a;b.txt"}));
    iterator.IncludeSubFolders = false;
    iterator.ExactFileName = ".draft.txt";
    EXPECT_EQ(search(), Names{".draft.txt"});
}

TEST_F(Walk, ArchiveMembersComeInNameOrderAtTheArchivesPlace) {
    std::vector<test::ZipEntry> members;
    for (const char* name : {"one.txt", "sub/", "sub/two.txt", "three.md", "/abs.txt",
                             "__MACOSX/._one.txt", ".hidden/x.txt"})
        members.push_back({name, "x"});
    test::writeZip(dir / "pack.zip", members);
    test::writeZip(dir / "sub/INNER.ZIP", {{"x.md", "x"}});
    EXPECT_EQ(search(),
              (Names{"Z.TXT", "a.txt", "b.txt", "link.txt", "pack.zip/abs.txt #5 /abs.txt",
                     "pack.zip/one.txt #1 one.txt", "pack.zip/sub/two.txt #3 sub/two.txt"}));
    iterator.FileMask = u"*.md";
    iterator.IncludeSubFolders = true;
    EXPECT_EQ(search(), (Names{"c.md", "pack.zip/three.md #4 three.md",
                               "sub/INNER.ZIP/x.md #1 x.md", "sub2/g.md"}));
    iterator.FileMask = u"*.zip";
    EXPECT_EQ(search(), Names{});         // the archive itself is not a file found
    iterator.ExactFileName = "pack.zip";  // as a chosen archive is searched
    iterator.ZipMemberMask = u"*.md";
    EXPECT_EQ(search(), Names{"pack.zip/three.md #4 three.md"});
}

}  // namespace
}  // namespace runemeter
