#include <gtest/gtest.h>

#include <bit>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "localisation/LocLangFile.h"
#include "localisation/lang_test_util.h"
#include "localisation/lzcompress.h"

namespace runemeter {
namespace {

using testing::expectedAfterRead;
using testing::readFile;
using testing::sampleGerman;
using testing::sampleNative;
using testing::TempDir;
using testing::textRecord;
using testing::writeFile;

std::unique_ptr<TLangFile> loadNative(const std::vector<std::byte>& bytes, TLocStorage& store,
                                      TLFLoadOptions options = 0) {
    auto file = TLangFile::CreateInMem();
    ByteStream stream(bytes);
    file->LoadFromStream(stream, &store, options, -1);
    return file;
}

std::size_t loadTranslation(const std::vector<std::byte>& bytes, TLocStorage& store,
                            std::uint32_t locale, TLFLoadOptions options = 0) {
    const std::size_t index = store.AddLanguage(locale);
    auto file = TLangFile::CreateInMem();
    ByteStream stream(bytes);
    file->LoadFromStream(stream, &store, options, static_cast<int>(index));
    return index;
}

// A readable picture of the whole store, to compare stores with each other.
std::string describe(const TLocStorage& store) {
    ByteStream out;
    for (std::size_t i = 0; i < store.LanguageCount(); ++i) {
        auto file = TLangFile::CreateInMem();
        file->SaveOwnSection(out, store, i);
    }
    std::string text(reinterpret_cast<const char*>(out.bytes().data()), out.size());
    return text + "|main=" + std::to_string(store.FMainLangID);
}

std::string expectLangError(const std::function<void()>& action) {
    try {
        action();
    } catch (const ELangFileError& e) {
        return e.what();
    }
    return "<no ELangFileError>";
}

TEST(LangFile, EveryFormatVersionReadsBackAsWritten) {
    for (std::uint16_t fv = 1; fv <= 7; ++fv) {
        SCOPED_TRACE("format version " + std::to_string(fv));
        const LangFileImage image = sampleNative(fv);
        const auto bytes = writeLangFileImage(image, false);
        EXPECT_EQ(readLangFileImage(bytes), expectedAfterRead(image));
        // The same bytes again: nothing is lost between reading and writing.
        EXPECT_EQ(writeLangFileImage(readLangFileImage(bytes), false), bytes);
    }
}

TEST(LangFile, EveryFormatVersionLoadsIntoTheStore) {
    for (std::uint16_t fv = 1; fv <= 7; ++fv) {
        SCOPED_TRACE("format version " + std::to_string(fv));
        TLocStorage store;
        auto file = loadNative(writeLangFileImage(sampleNative(fv), false), store);
        EXPECT_EQ(file->FFormatVersion, fv);
        EXPECT_EQ(file->FBuild, fv > 4 ? 17u : 0u);
        EXPECT_EQ(file->FBasedOnLangID, fv > 2 ? 0x0409 : 0);
        EXPECT_EQ(file->FAttributes, fv > 1 ? 2 : 0);
        EXPECT_TRUE(file->FIsNative);
        EXPECT_EQ(file->FLangEnglishName, u"English");
        EXPECT_EQ(store.FMainLangID, 0x0409);
        ASSERT_EQ(store.FUnits.Count(), 2u);

        const TLocConstant* hello = store.FindConstByIntID(1);
        ASSERT_NE(hello, nullptr);
        EXPECT_EQ(hello->FName, u"SHello");
        EXPECT_EQ(hello->FStringID, 1001);
        EXPECT_EQ(hello->FParent->FName, u"MainUnit");
        EXPECT_EQ(hello->FParent->FAttributes, fv > 1 ? 0x11 : 0);
        EXPECT_EQ(hello->FValues[0]->Value(), u"Hello");
        EXPECT_EQ(hello->FValues[0]->FAttributes, fv > 1 ? 1 : 0);
        EXPECT_EQ(hello->FValues[0]->LangID(), 0x0409);
        EXPECT_EQ(hello->FValues[0]->FModified, 46001.5);

        const TLocProperty* width = store.FindPropByIntID(12);
        ASSERT_NE(width, nullptr);
        EXPECT_EQ(width->FValues.FValueType, TLocValueType::ptInteger);
        EXPECT_EQ(width->FValues[0]->Value(), fv >= 4 ? u"-75" : u"0");
        const TLocProperty* scale = store.FindPropByIntID(13);
        ASSERT_NE(scale, nullptr);
        EXPECT_EQ(scale->FValues[0]->Value(), fv >= 4 ? u"1.25" : u"0");
        EXPECT_EQ(scale->FParent->FName, u"Button1");
        EXPECT_EQ(scale->FParent->FParent->FName, u"TForm1");
        EXPECT_EQ(store.FindPropByIntID(14)->FValues[0]->Value(), u"a\r\nb");
        EXPECT_EQ(store.FForms[0]->FProperties[0]->FValues[0]->Value(), u"Runemeter");

        const TLocExtItem* letter = store.FindExtItem(u"types", u"LETTER");
        if (fv >= 7) {
            ASSERT_NE(letter, nullptr);
            EXPECT_EQ(letter->FValues[0]->Value(), u"letter");
            EXPECT_EQ(file->FExtItemMaxID, 21);
        } else {
            EXPECT_EQ(letter, nullptr);
            EXPECT_EQ(store.FExtGroups.Count(), 0u);
        }
    }
}

TEST(LangFile, PackedAndShortCountsAtTheirBoundaries) {
    struct Case {
        std::uint16_t fv;
        std::size_t length;
        std::vector<int> countBytes;
    };
    const Case cases[] = {
        {6, 127, {0x7F}},
        {6, 128, {0x80, 0x01}},
        {6, 16383, {0xFF, 0x7F}},
        {6, 16384, {0x80, 0x80, 0x01, 0x00}},
        {7, 16384 * 3 + 5, {0x85, 0x80, 0x03, 0x00}},
        {5, 127, {0x7F, 0x00}},
        {5, 16384, {0x00, 0x40}},
        {5, 65535, {0xFF, 0xFF}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("fv " + std::to_string(c.fv) + " length " + std::to_string(c.length));
        LangFileImage image;
        image.header.formatVersion = c.fv;
        LangUnitRecord unit{u"U", 0, {}};
        unit.constants.push_back(textRecord(u"C", 1, std::u16string(c.length, u'x')));
        image.units.push_back(unit);
        const auto bytes = writeLangFileImage(image, false);

        // The value's count sits right after the name, attributes, string ID and ID.
        ByteStream probe(bytes);
        (void)readLangHeader(probe);
        const std::size_t nameCountSize = c.fv >= 6 ? 1 : 2;
        const std::size_t at = probe.position() + 2 /*units*/ + nameCountSize + 1 /*"U"*/ +
                               2 /*attrs*/ + 2 /*constants*/ + nameCountSize + 1 /*"C"*/ +
                               2 /*attrs*/ + 2 /*string id*/ + 4 /*id*/;
        ASSERT_LE(at + c.countBytes.size(), bytes.size());
        for (std::size_t i = 0; i < c.countBytes.size(); ++i) {
            EXPECT_EQ(static_cast<int>(bytes[at + i]), c.countBytes[i]) << "count byte " << i;
        }
        const LangFileImage back = readLangFileImage(bytes);
        ASSERT_EQ(back.units.size(), 1u);
        EXPECT_EQ(back.units[0].constants[0].text.size(), c.length);
        EXPECT_EQ(back, image);
    }
}

TEST(LangFile, TooLongValuesAreRefusedNotTruncated) {
    LangFileImage image;
    image.header.formatVersion = 5;
    LangUnitRecord unit{u"U", 0, {}};
    unit.constants.push_back(textRecord(u"C", 1, std::u16string(65536, u'x')));
    image.units.push_back(unit);
    EXPECT_THROW((void)writeLangFileImage(image, false), ELangFileError);
    image.header.formatVersion = 7;
    EXPECT_NO_THROW((void)writeLangFileImage(image, false));
    image.units[0].name = u"\u0416";  // not in Windows-1252
    EXPECT_THROW((void)writeLangFileImage(image, false), ELangFileError);
}

TEST(LangFile, TranslationRecordWithUnknownIdIsSkipped) {
    TLocStorage store;
    (void)loadNative(writeLangFileImage(sampleNative(), false), store);
    LangFileImage german = sampleGerman();
    // An unknown constant in front of a known one, and an unknown property first in its list.
    LangRecord unknown = textRecord(u"SGone", 999, u"weg");
    german.units[0].constants.insert(german.units[0].constants.begin(), unknown);
    german.forms[0].components[0].properties.insert(
        german.forms[0].components[0].properties.begin(), textRecord(u"Hint", 998, u"Tipp"));
    const std::size_t de = loadTranslation(writeLangFileImage(german, false), store, 0x0407);
    EXPECT_EQ(store.FindConstByIntID(1)->FValues[de]->Value(), u"Hallo");
    EXPECT_EQ(store.FindPropByIntID(11)->FValues[de]->Value(), u"&Analysieren");
    EXPECT_EQ(store.FindConstByIntID(999), nullptr);
    EXPECT_EQ(store.FindExtItem(u"Types", u"Letter")->FValues[de]->Value(), u"Buchstabe");
    EXPECT_EQ(store.FindConstByIntID(1)->FValues[de]->LangID(), 0x0407);
}

TEST(LangFile, TranslationPropertyOfAnotherTypeIsReadAndSkipped) {
    TLocStorage store;
    (void)loadNative(writeLangFileImage(sampleNative(), false), store);
    LangFileImage german = sampleGerman();
    // Width (ptInteger in the program) arrives as a string; the next property still loads.
    german.forms[0].components[0].properties[1].typeWord =
        static_cast<std::uint32_t>(TLocValueType::ptString);
    german.forms[0].components[0].properties[1].text = u"breit";
    german.forms[0].components[0].properties[2].text = u"2.5";
    const std::size_t de = loadTranslation(writeLangFileImage(german, false), store, 0x0407);
    EXPECT_EQ(store.FindPropByIntID(12)->FValues[de]->Value(), u"");
    EXPECT_EQ(store.FindPropByIntID(13)->FValues[de]->Value(), u"2.5");
}

TEST(LangFile, SyncByNameMatchesRecordsWhoseIdsDiffer) {
    TLocStorage store;
    (void)loadNative(writeLangFileImage(sampleNative(), false), store);
    LangFileImage german = sampleGerman();
    german.units[0].constants[0].id = 500;
    german.forms[0].properties[0].id = 501;
    german.groups[0].items[0].id = 502;
    const auto bytes = writeLangFileImage(german, false);
    const std::size_t byId = loadTranslation(bytes, store, 0x0407);
    EXPECT_EQ(store.FindConstByIntID(1)->FValues[byId]->Value(), u"");
    const std::size_t byName = loadTranslation(bytes, store, 0x0407, loSyncByName);
    EXPECT_EQ(store.FindConstByIntID(1)->FValues[byName]->Value(), u"Hallo");
    EXPECT_EQ(store.FindPropByIntID(10)->FValues[byName]->Value(), u"Runenmesser");
    EXPECT_EQ(store.FindExtItem(u"Types", u"Letter")->FValues[byName]->Value(), u"Buchstabe");
}

TEST(LangFile, NegativeValueVersionTakesTheHeaderVersionOnNativeLoad) {
    TLocStorage store;
    (void)loadNative(writeLangFileImage(sampleNative(), false), store);
    EXPECT_EQ(store.FindConstByIntID(2)->FValues[0]->FValueVersion, 3);
    EXPECT_EQ(store.FindConstByIntID(1)->FValues[0]->FValueVersion, 1);

    LangFileImage german = sampleGerman();
    german.units[1].constants[0].version = -4;
    const std::size_t de = loadTranslation(writeLangFileImage(german, false), store, 0x0407);
    EXPECT_EQ(store.FindConstByIntID(3)->FValues[de]->FValueVersion, -4);
}

TEST(LangFile, ShowOutdatedAttributeClearedWhenNativeIsNewer) {
    TLocStorage store;
    LangFileImage native = sampleNative();
    native.groups[0].items[0].version = 5;
    native.groups[0].items[1].version = 1;
    (void)loadNative(writeLangFileImage(native, false), store);
    LangFileImage german = sampleGerman();
    german.groups[0].items[0].version = 4;
    german.groups[0].items[0].attributes = 0x0101;
    german.groups[0].items[1].version = 1;
    german.groups[0].items[1].attributes = 0x0100;
    const std::size_t de = loadTranslation(writeLangFileImage(german, false), store, 0x0407);
    EXPECT_EQ(store.FindExtItem(u"Types", u"Letter")->FValues[de]->FAttributes, 0x0001);
    EXPECT_EQ(store.FindExtItem(u"Types", u"Digit")->FValues[de]->FAttributes, 0x0100);
}

TEST(LangFile, CompressedAndPlainFilesLoadToTheSameStore) {
    TempDir dir;
    writeFile(dir / "plain.ntv.lng", writeLangFileImage(sampleNative(), false));
    writeFile(dir / "packed.ntv.lng", writeLangFileImage(sampleNative(), true));
    writeFile(dir / "plain.DEU.lng", writeLangFileImage(sampleGerman(), false));
    writeFile(dir / "packed.DEU.lng", writeLangFileImage(sampleGerman(), true));

    std::string pictures[2];
    const char* stems[2] = {"plain", "packed"};
    for (int k = 0; k < 2; ++k) {
        TLocStorage store;
        auto native = TLangFile::Create(dir / (std::string(stems[k]) + ".ntv.lng"), true);
        native->Load(&store, -1);
        EXPECT_EQ(native->FCompressed, k == 1);
        auto german = TLangFile::Create(dir / (std::string(stems[k]) + ".DEU.lng"), true);
        EXPECT_EQ(german->FLangLocalizedName, u"Deutsch");
        german->Load(&store, static_cast<int>(store.AddLanguage(german->FLocale)));
        pictures[k] = describe(store);
    }
    EXPECT_EQ(pictures[0], pictures[1]);
    EXPECT_GT(pictures[0].size(), 100u);
}

TEST(LangFile, HeaderOfCompressedFileComesFromItsFirst2048Bytes) {
    TempDir dir;
    LangFileImage image = sampleNative();
    // Plenty of incompressible text so that the container is far longer than 2048 bytes.
    std::u16string noise;
    std::uint32_t x = 12345;
    for (int i = 0; i < 6000; ++i) {
        x = x * 1103515245u + 12345u;
        noise.push_back(static_cast<char16_t>(0x4E00 + (x >> 16) % 2000));
    }
    image.units[0].constants[0].text = noise;
    std::vector<std::byte> packed = writeLangFileImage(image, true);
    ASSERT_GT(packed.size(), 4096u);
    // Damage the tail: a copy from before the start of the output.
    packed[packed.size() - 2] = std::byte{0x01};
    packed[packed.size() - 1] = std::byte{0x70};
    packed.push_back(std::byte{0xFF});
    packed.push_back(std::byte{0xFF});
    writeFile(dir / "big.ntv.lng", packed);

    auto file = TLangFile::Create(dir / "big.ntv.lng", true);
    EXPECT_TRUE(file->FCompressed);
    EXPECT_EQ(file->FLocale, 0x0409u);
    EXPECT_EQ(file->FLangEnglishName, u"English");
    TLocStorage store;
    EXPECT_THROW(file->Load(&store, -1), ECompressError);
}

TEST(LangFile, FailureTableMessages) {
    auto bytesWith = [](std::initializer_list<int> head) {
        std::vector<std::byte> bytes;
        for (int b : head) {
            bytes.push_back(static_cast<std::byte>(b));
        }
        bytes.resize(64, std::byte{0});
        return bytes;
    };
    struct Case {
        const char* name;
        std::vector<std::byte> bytes;
        std::string message;
    };
    const Case cases[] = {
        {"wrong magic", bytesWith({'L', 'G', 7, 0}), "Invalid file format"},
        {"format version 0", bytesWith({'L', 'F', 0, 0}), "Invalid file format"},
        {"format version 8", bytesWith({'L', 'F', 8, 0}),
         "The language file can not be read. It was written by a newer version of the language "
         "tools"},
        {"format version 256", bytesWith({'L', 'F', 0, 1}),
         "The language file can not be read. It was written by a newer version of the language "
         "tools"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TLocStorage store;
        EXPECT_EQ(expectLangError([&] { (void)loadNative(c.bytes, store); }), c.message);
        EXPECT_EQ(expectLangError([&] { (void)readLangFileImage(c.bytes); }), c.message);
    }

    const auto good = writeLangFileImage(sampleNative(), false);
    auto file = TLangFile::CreateInMem();
    ByteStream stream(good);
    EXPECT_EQ(expectLangError([&] { file->LoadFromStream(stream, nullptr, 0, -1); }),
              "Invalid LocStorage");
    TLocStorage store;
    EXPECT_EQ(expectLangError([&] { file->LoadFromStream(stream, &store, 0, 1); }),
              "Invalid index");
    store.AddLanguage(0x0407);
    EXPECT_EQ(expectLangError([&] { file->LoadFromStream(stream, &store, 0, 2); }),
              "Invalid index");

    TempDir dir;
    auto missing = TLangFile::Create(dir / "missing.lng", false);
    EXPECT_FALSE(missing->FReadOnly);
    EXPECT_EQ(expectLangError([&] { missing->Lock(); }), "Can not open language file exclusively");
    EXPECT_EQ(missing->FHandle, -1);
}

TEST(LangFile, TruncatedDataGivesAReadErrorAtEveryOffset) {
    const auto full = writeLangFileImage(sampleNative(), false);
    for (std::size_t cut = 0; cut < full.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        const std::vector<std::byte> head(full.begin(),
                                          full.begin() + static_cast<std::ptrdiff_t>(cut));
        TLocStorage store;
        try {
            (void)loadNative(head, store);
            ADD_FAILURE() << "no error";
        } catch (const EReadError& e) {
            EXPECT_LE(e.offset(), cut);
            EXPECT_EQ(std::string(e.what()),
                      "Stream read error at offset " + std::to_string(e.offset()));
        }
    }
    // The full file loads; the store keeps what came before a cut.
    TLocStorage store;
    EXPECT_NO_THROW((void)loadNative(full, store));
    const std::size_t cut = full.size() - 30;
    TLocStorage partial;
    EXPECT_THROW(
        (void)loadNative(
            std::vector<std::byte>(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut)),
            partial),
        EReadError);
    EXPECT_NE(partial.FindConstByIntID(3), nullptr);
    EXPECT_NE(partial.FindPropByIntID(14), nullptr);
}

TEST(LangFile, TruncatedCompressedDataIsACompressError) {
    const auto full = writeLangFileImage(sampleNative(), true);
    for (std::size_t cut = 5; cut < full.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        const std::vector<std::byte> head(full.begin(),
                                          full.begin() + static_cast<std::ptrdiff_t>(cut));
        TLocStorage store;
        try {
            (void)loadNative(head, store);
            ADD_FAILURE() << "no error";
        } catch (const ECompressError&) {
        } catch (const EReadError&) {
        }
    }
}

TEST(LangFile, CountsClaimingMoreThanTheDataAreReadErrors) {
    LangFileImage image;
    image.header.formatVersion = 7;
    auto bytes = writeLangFileImage(image, false);
    // Body: units 1, name with a packed count of about a billion bytes.
    const std::vector<int> tail = {0x01, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 'U'};
    bytes.resize(bytes.size() - 6);  // drop the empty units/forms/groups counts
    for (int b : tail) {
        bytes.push_back(static_cast<std::byte>(b));
    }
    TLocStorage store;
    EXPECT_THROW((void)loadNative(bytes, store), EReadError);
}

TEST(LangFile, RecordsWithIdZeroGetTheNextIds) {
    LangFileImage image = sampleNative();
    image.header.constMaxId = 2;         // below the largest ID in the file
    image.units[1].constants[0].id = 0;  // Other.SBye
    image.units[0].constants[1].id = 0;  // MainUnit.STotal
    image.forms[0].properties[0].id = 0;
    TLocStorage store;
    auto file = loadNative(writeLangFileImage(image, false), store);
    // Constants: the largest read is 1, the header says 2 -> 3 and 4 in store order.
    EXPECT_EQ(store.FUnits.Find(u"MainUnit")->FConstants.Find(u"STotal")->FID, 3);
    EXPECT_EQ(store.FUnits.Find(u"Other")->FConstants.Find(u"SBye")->FID, 4);
    EXPECT_EQ(file->FConstMaxID, 4);
    EXPECT_EQ(store.FForms[0]->FProperties[0]->FID, 15);
    EXPECT_EQ(file->FPropertyMaxID, 15);
}

TEST(LangFile, RepairGivesDuplicateIdsFreshOnes) {
    LangFileImage image = sampleNative();
    image.units[1].constants[0].id = 1;  // SBye collides with SHello
    {
        TLocStorage store;
        (void)loadNative(writeLangFileImage(image, false), store);
        EXPECT_EQ(store.FUnits.Find(u"Other")->FConstants[0]->FID, 1);
    }
    TLocStorage store;
    auto file = loadNative(writeLangFileImage(image, false), store, loRepair);
    EXPECT_EQ(store.FUnits.Find(u"MainUnit")->FConstants.Find(u"SHello")->FID, 1);
    EXPECT_EQ(store.FUnits.Find(u"Other")->FConstants[0]->FID, 4);
    EXPECT_EQ(file->FConstMaxID, 4);
}

TEST(LangFile, NativeLoadClearsTheStoreFirst) {
    TLocStorage store;
    store.AddUnit(u"Stale")->AddConstant(u"Old", 77, 1);
    (void)loadNative(writeLangFileImage(sampleNative(), false), store);
    EXPECT_EQ(store.FUnits.Find(u"Stale"), nullptr);
    EXPECT_EQ(store.FindConstByIntID(77), nullptr);
}

TEST(LangFile, VersionAndFormatVersionUpdates) {
    auto file = TLangFile::CreateInMem();
    EXPECT_EQ(file->FFormatVersion, 7);
    EXPECT_EQ(file->FHandle, -1);
    EXPECT_TRUE(file->FAskRepLocale);
    file->FVersion = 4;
    file->FBuild = 9;
    file->IncreaseVersion();
    EXPECT_EQ(file->FVersion, 5);
    EXPECT_EQ(file->FBuild, 0u);
    file->FBuild = 3;
    file->SetVersion(5);
    EXPECT_EQ(file->FBuild, 3u);

    struct Case {
        std::uint16_t fv;
        bool modified;
        std::uint16_t writtenFv;
        std::uint32_t writtenBuild;
    };
    const Case cases[] = {{1, true, 4, 0}, {3, false, 4, 0}, {4, true, 4, 0},
                          {5, true, 5, 4}, {5, false, 5, 3}, {7, true, 7, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE("fv " + std::to_string(c.fv) + (c.modified ? " modified" : ""));
        auto f = TLangFile::CreateInMem();
        f->FFormatVersion = c.fv;
        f->FBuild = 3;
        f->FModified = c.modified;
        ByteStream out;
        f->SaveHeader(out);
        out.seek(0);
        const LangFileHeader header = readLangHeader(out);
        EXPECT_EQ(header.formatVersion, c.writtenFv);
        EXPECT_EQ(header.build, c.writtenBuild);
    }
    auto old = TLangFile::CreateInMem();
    old->FFormatVersion = 3;
    old->UpdateFormatVersion();
    EXPECT_EQ(old->FFormatVersion, 7);
}

TEST(LangFile, SaveThenLoadGivesTheSameStore) {
    TempDir dir;
    TLocStorage store;
    (void)loadNative(writeLangFileImage(sampleNative(), false), store);
    const std::size_t de =
        loadTranslation(writeLangFileImage(sampleGerman(), false), store, 0x0407);

    for (const bool compressed : {false, true}) {
        SCOPED_TRACE(compressed ? "compressed" : "plain");
        const auto path = dir / (compressed ? "out.c.lng" : "out.p.lng");
        auto writer = TLangFile::Create(path, false);
        writer->FLocale = 0x0407;
        writer->FIsNative = false;
        writer->FCompressed = compressed;
        writer->Save(store, de);
        EXPECT_EQ(TLZCompressor::IsCompressed(ByteStream(readFile(path))), compressed);

        TLocStorage again;
        (void)loadNative(writeLangFileImage(sampleNative(), false), again);
        auto reader = TLangFile::Create(path, true);
        reader->Load(&again, static_cast<int>(again.AddLanguage(0x0407)));
        EXPECT_EQ(describe(again), describe(store));
    }
}

TEST(LangFile, LockDeniesWritingToOthers) {
    TempDir dir;
    const auto path = dir / "app.ntv.lng";
    writeFile(path, writeLangFileImage(sampleNative(), false));
    auto holder = TLangFile::Create(path, false);
    EXPECT_FALSE(holder->FReadOnly);
    holder->Lock();
    EXPECT_GE(holder->FHandle, 0);

    auto other = TLangFile::Create(path, false);
    EXPECT_TRUE(other->FReadOnly);
    TLocStorage store;
    EXPECT_THROW(other->Save(store, 0), EFOpenError);
    // Reading is still allowed while the file is held.
    EXPECT_NO_THROW(other->Load(&store, -1));

    holder->Unlock();
    EXPECT_EQ(holder->FHandle, -1);
    auto later = TLangFile::Create(path, false);
    EXPECT_FALSE(later->FReadOnly);
    EXPECT_TRUE(TLangFile::Create(path, true)->FReadOnly);
}

TEST(LangFile, FileWithoutWritePermissionIsReadOnlyButReadable) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "permissions do not bind the super-user";
    }
    TempDir dir;
    const auto path = dir / "app.ntv.lng";
    writeFile(path, writeLangFileImage(sampleNative(), false));
    ::chmod(path.c_str(), 0444);
    auto file = TLangFile::Create(path, false);
    EXPECT_TRUE(file->FReadOnly);
    TLocStorage store;
    file->Load(&store, -1);
    EXPECT_NE(store.FindConstByIntID(1), nullptr);
}

TEST(LangFile, LoadHeaderFromStreamKeepsFieldsOnRequest) {
    const auto bytes = writeLangFileImage(sampleGerman(), true);
    auto file = TLangFile::CreateInMem();
    file->FLocale = 0x040C;
    ByteStream stream(bytes);
    const std::size_t end = file->LoadHeaderFromStream(stream, true);
    EXPECT_EQ(file->FLocale, 0x040Cu);
    EXPECT_TRUE(file->FCompressed);
    ByteStream again(bytes);
    EXPECT_EQ(file->LoadHeaderFromStream(again, false), end);
    EXPECT_EQ(file->FLocale, 0x0407u);
    EXPECT_EQ(file->FVersion, 5);

    ByteStream plain(writeLangFileImage(sampleGerman(), false));
    EXPECT_EQ(file->LoadHeaderFromStream(plain, false), end);
    EXPECT_FALSE(file->FCompressed);
}

}  // namespace
}  // namespace runemeter
