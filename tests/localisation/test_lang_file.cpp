// SPDX-License-Identifier: GPL-3.0-or-later
// Language files: the layout of each format version, counts at their boundaries, loading into
// the store as native file or translation, damaged data; and the store's named lists.

#include <unistd.h>

#include <gtest/gtest.h>

#include "localisation/lang_file.h"
#include "localisation/lang_fixtures.h"
#include "localisation/lzcompress.h"
#include "support/files.h"

namespace runemeter {
namespace {

using namespace runemeter::testing;

std::unique_ptr<TLangFile> load(const std::vector<std::byte>& bytes, TLocStorage& store,
                                int index = -1, TLFLoadOptions options = 0) {
    auto file = TLangFile::CreateInMem();
    ByteStream stream(bytes);
    file->LoadFromStream(stream, &store, options, index);
    return file;
}

TEST(LangFile, EachFormatVersionHasItsLayoutAndWritesBackTheSameBytes) {
    // Sizes worked out by hand from the layout of the sample file.
    const std::size_t sizes[] = {323, 343, 345, 357, 361, 348, 402};
    for (std::uint16_t fv = 1; fv <= 7; ++fv) {
        SCOPED_TRACE("format version " + std::to_string(fv));
        const auto bytes = writeLangFileImage(nativeLanguage(fv), false);
        EXPECT_EQ(bytes.size(), sizes[fv - 1]);
        EXPECT_EQ(writeLangFileImage(readLangFileImage(bytes), false), bytes);

        TLocStorage store;
        const auto file = load(bytes, store);
        EXPECT_EQ(file->FBuild, fv > 4 ? 17u : 0u);
        EXPECT_EQ(file->FBasedOnLangID, fv > 2 ? kEnglishUK : 0u);
        EXPECT_EQ(store.FindConstByIntID(1)->FValues[0]->FAttributes, fv > 1 ? 1 : 0);
        // A negative value version takes the header's.
        EXPECT_EQ(store.FindConstByIntID(2)->FValues[0]->FValueVersion, kExeResourceVersion);
        EXPECT_EQ(store.FindPropByIntID(12)->FValues[0]->Value(), fv > 3 ? u"-75" : u"0");
        EXPECT_EQ(store.FindPropByIntID(13)->FValues[0]->Value(), fv > 3 ? u"1.25" : u"0");
        EXPECT_EQ(store.FindExtItem(u"types", u"LETTER") != nullptr, fv > 6);
    }
}

TEST(LangFile, CountBytesAtTheirBoundaries) {
    const std::tuple<std::uint16_t, std::size_t, std::vector<int>> rows[] = {
        {6, 127, {0x7F}},         {6, 128, {0x80, 0x01}},
        {6, 16383, {0xFF, 0x7F}}, {6, 16384, {0x80, 0x80, 0x01, 0x00}},
        {5, 127, {0x7F, 0x00}},   {7, 49157, {0x85, 0x80, 0x03, 0x00}},
        {5, 16384, {0x00, 0x40}}, {5, 65535, {0xFF, 0xFF}},
    };
    for (const auto& [fv, length, countBytes] : rows) {
        SCOPED_TRACE("fv " + std::to_string(fv) + " length " + std::to_string(length));
        LangFileImage image;
        image.header.formatVersion = fv;
        image.units.push_back({u"U", 0, {{.name = u"C", .text = std::u16string(length, 'x')}}});
        const auto bytes = writeLangFileImage(image, false);
        // After the header: unit count, name, attributes, constant count, the constant's name,
        // attributes, string ID and ID, then its text's count.
        ByteStream probe(bytes);
        (void)readLangHeader(probe);
        const std::size_t name = fv >= 6 ? 2 : 3;
        const std::size_t at = probe.position() + 2 + name + 2 + 2 + name + 2 + 2 + 4;
        ASSERT_LE(at + countBytes.size(), bytes.size());
        for (std::size_t i = 0; i < countBytes.size(); ++i)
            EXPECT_EQ(static_cast<int>(bytes[at + i]), countBytes[i]) << "count byte " << i;
        EXPECT_EQ(readLangFileImage(bytes), image);
    }
}

TEST(LangFile, WhatTheFormatCannotHoldIsRefusedNotCut) {
    LangFileImage image;
    image.header.formatVersion = 5;
    image.units.push_back({u"U", 0, {{.name = u"C", .text = std::u16string(65536, 'x')}}});
    EXPECT_THROW((void)writeLangFileImage(image, false), ELangFileError);
    image.header.formatVersion = 7;
    EXPECT_NO_THROW((void)writeLangFileImage(image, false));
    image.units[0].name.assign(1, u'\u0416');  // not in Windows-1252
    EXPECT_THROW((void)writeLangFileImage(image, false), ELangFileError);
}

TEST(LangFile, ATranslationFillsItsLanguageByIdOrByName) {
    const auto german = writeLangFileImage(langImageFromText(R"(locale 0x0407
unit "resource_strings" attributes=0
  constant "SCafe" attributes=0 string-id=0 id=99 version=-4 time=0
    value "Kaffee"
  constant "VTTotal" attributes=0x0100 string-id=0 id=1 version=1 time=0
    value "Summe"
form "Form1" attributes=0
  component "Label1" attributes=0
    property "Width" attributes=0 id=12 type=ptString version=1 time=0
      value "breit"
group "Types" attributes=0
  item "Letter" attributes=0x0101 id=20 version=1 time=0
    value "Buchstabe"
)"),
                                           false);
    TLocStorage store;
    (void)load(writeLangFileImage(nativeLanguage(), false), store);
    const std::size_t byId = store.AddLanguage(kGerman);
    (void)load(german, store, static_cast<int>(byId));
    const std::size_t byName = store.AddLanguage(kGerman);
    (void)load(german, store, static_cast<int>(byName), loSyncByName);
    for (const std::size_t de : {byId, byName}) {
        SCOPED_TRACE(de == byId ? "by ID" : "by name");
        const TLocValue& total = *store.FindConstByIntID(1)->FValues[de];
        EXPECT_EQ(total.Value(), u"Summe");
        EXPECT_EQ(total.FAttributes, kValueAttrShowOutdated) << "as new as the native value";
        EXPECT_EQ(store.FindPropByIntID(12)->FValues[de]->Value(), u"") << "another type";
        // Older than the native value: "show outdated as it is" is dropped.
        EXPECT_EQ(store.FindExtItem(u"Types", u"Letter")->FValues[de]->FAttributes, 0x0001);
    }
    EXPECT_EQ(store.FindConstByIntID(2)->FValues[byId]->Value(), u"");
    EXPECT_EQ(store.FindConstByIntID(2)->FValues[byName]->Value(), u"Kaffee");
    EXPECT_EQ(store.FindConstByIntID(2)->FValues[byName]->FValueVersion, -4);
}

TEST(LangFile, RecordsWithoutIdsOrWithTakenOnesGetTheNextFree) {
    const std::tuple<const char*, std::int32_t, TLFLoadOptions, std::int32_t> rows[] = {
        {"ID 0", 0, 0, 3}, {"taken, repaired", 1, loRepair, 3}, {"taken", 1, 0, 1}};
    for (const auto& [name, cafeId, options, expected] : rows) {
        SCOPED_TRACE(name);
        LangFileImage image = nativeLanguage();
        image.units[0].constants[1].id = cafeId;  // the header's largest constant ID is 2
        image.forms[0].properties[0].id = 0;
        TLocStorage store;
        const auto file = load(writeLangFileImage(image, false), store, -1, options);
        const TLocUnit* unit = store.FUnits.Find(u"resource_strings");
        EXPECT_EQ(unit->FConstants.Find(u"SCafe")->FID, expected);
        EXPECT_EQ(unit->FConstants.Find(u"VTTotal")->FID, 1);
        EXPECT_EQ(file->FConstMaxID, std::max(expected, 2));
        EXPECT_EQ(store.FForms[0]->FProperties[0]->FID, 14);
    }
}

TEST(LangFile, DataCutAtEveryOffsetIsAReadError) {
    for (const bool compressed : {false, true}) {
        const auto full = writeLangFileImage(nativeLanguage(), compressed);
        for (std::size_t cut = compressed ? 5 : 0; cut < full.size(); ++cut) {
            SCOPED_TRACE((compressed ? "compressed, cut at " : "cut at ") + std::to_string(cut));
            TLocStorage store;
            try {
                (void)load({full.begin(), full.begin() + std::ptrdiff_t(cut)}, store);
                ADD_FAILURE() << "no error";
            } catch (const EReadError& e) {
                EXPECT_TRUE(compressed || e.offset() <= cut);
                EXPECT_EQ(e.what(), "Stream read error at offset " + std::to_string(e.offset()));
            } catch (const NamedError& e) {
                EXPECT_TRUE(compressed && e.className() == "ECompressError") << e.what();
            }
        }
    }
}

// (A wrong magic and a newer format version: runemeter-lang's dump, through the same reader.)
TEST(LangFile, FormatVersionZeroIsInvalid) {
    TLocStorage store;
    EXPECT_EQ(messageOf([&] { (void)load(toBytes("LF" + std::string(62, '\0')), store); }),
              "Invalid file format");
}

// Installed without write permission, the file is read-only but read (as far as the damage at
// its end: the content, not the opening, fails).
TEST(LangFile, TheHeaderOfALargeCompressedFileComesFromItsHeadAlone) {
    LangFileImage image = nativeLanguage();
    for (char16_t c = 0x4E00; c < 0x4E00 + 6000; ++c)  // no three bytes repeat
        image.units[0].constants[0].text.push_back(c);
    std::vector<std::byte> packed = writeLangFileImage(image, true);
    ASSERT_GT(packed.size(), 4096u);
    packed.push_back(std::byte{0x03});  // a copy token cut short at the end
    TempDir dir;
    writeFile(dir / "big.ntv.lng", packed);
    std::filesystem::permissions(dir / "big.ntv.lng", std::filesystem::perms::owner_read);
    auto file = TLangFile::Create(dir / "big.ntv.lng", false);
    EXPECT_EQ(file->FReadOnly, ::geteuid() != 0);  // permissions do not bind the super-user
    EXPECT_EQ(file->FLocale, kEnglishUK);
    TLocStorage store;
    EXPECT_THROW(file->Load(&store, -1), ECompressError);
}

TEST(LocStorage, NamedListsStaySortedCaseBlindAndKeepTheFirstOfEachName) {
    for (const std::u16string order : {u"abcde", u"edcba", u"bdaceCA\u00c9"}) {
        TLocStorage store;
        TLocForm* form = store.AddForm(u"F");
        for (const char16_t c : order) {
            const std::u16string name(1, c);
            const TLocComponent* added = form->AddComponent(name);
            EXPECT_EQ(form->FComponents.Find(name), added);
            (void)form->FComponents.Find(u"c");  // moves the remembered position
        }
        std::u16string joined;
        for (const auto& component : form->FComponents)
            joined += component->FName;
        EXPECT_EQ(joined, order.size() > 5 ? u"abcde\u00c9" : u"abcde");
        EXPECT_EQ(form->FComponents.IndexOf(u"\u00e9"), order.size() > 5 ? 5 : -1);
    }
}

}  // namespace
}  // namespace runemeter
