// Language modules: their file format, building them from the store, and making them current.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <filesystem>

#include "localisation/LocUtils.h"
#include "localisation/lang_test_util.h"

namespace runemeter {
namespace {

using runemeter::testing::TempDir;
using runemeter::testing::writeFile;

LanguageModule sampleModule() {
    LanguageModule module;
    module.settings.Locale = 0x0407;
    module.settings.Version = kExeResourceVersion;
    module.settings.EnglishName = u"German";
    module.settings.LocalizedName = u"Deutsch – ß";
    module.settings.LFBuild = 9;
    module.strings = {{ResId::VTTotal, u"Summe"}, {ResId::VTEnter, u""}};
    return module;
}

TEST(LanguageModule, RoundTrip) {
    const LanguageModule module = sampleModule();
    LanguageModule read;
    ASSERT_TRUE(readLanguageModule(writeLanguageModule(module), read));
    EXPECT_EQ(read.settings, module.settings);
    EXPECT_EQ(read.strings, module.strings);
}

TEST(LanguageModule, EveryTruncationAndTrailingBytesAreRefused) {
    const std::vector<std::byte> bytes = writeLanguageModule(sampleModule());
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        LanguageModule read;
        EXPECT_FALSE(readLanguageModule(std::span(bytes).first(size), read)) << size;
    }
    std::vector<std::byte> longer = bytes;
    longer.push_back(std::byte{0});
    LanguageModule read;
    EXPECT_FALSE(readLanguageModule(longer, read));
}

TEST(LanguageModule, SettingsRecordWithoutBuild) {
    // A record that ends after the localized name reads LFBuild as 0.
    TDLLInfoItem info = sampleModule().settings;
    std::vector<std::byte> record = writeSettingsRecord(info, "LDLL");
    ASSERT_GT(record.size(), 8u);
    record.erase(record.end() - 8, record.end());
    std::vector<std::byte> file(16);
    std::memcpy(file.data(), "LOC_LIBSETTINGS_", 16);
    const auto size = static_cast<std::uint32_t>(record.size());
    for (int i = 0; i < 4; ++i) {
        file.push_back(static_cast<std::byte>((size >> (8 * i)) & 0xFF));
    }
    file.insert(file.end(), record.begin(), record.end());
    file.insert(file.end(), 4, std::byte{0});
    LanguageModule read;
    ASSERT_TRUE(readLanguageModule(file, read));
    EXPECT_EQ(read.settings.LFBuild, 0u);
    EXPECT_EQ(read.settings.LocalizedName, info.LocalizedName);
}

class LocUtilsTest : public ::testing::Test {
protected:
    void SetUp() override {
        utils.FAppFileName = dir.path() / "runemeter";
        utils.FUnderOnFly = true;
        utils.BackToExe();
        storage.FLocales[0] = 0x0809;
        TLocUnit* unit = storage.AddUnit(u"resource_strings");
        TLocConstant* total =
            unit->AddConstant(u"VTTotal", 1, static_cast<std::uint16_t>(ResId::VTTotal));
        TLocConstant* letter =
            unit->AddConstant(u"VTLetter", 2, static_cast<std::uint16_t>(ResId::VTLetter));
        german = storage.AddLanguage(0x0407);
        total->FValues[0]->SetValue(u"Total");
        total->FValues[german]->SetValue(u"Summe");
        letter->FValues[0]->SetValue(u"a letter");  // not the program's text any more
        letter->FValues[german]->SetValue(u"ein Buchstabe");
    }
    void TearDown() override { setResourceStringTranslations({}); }

    TDLLInfoItem info(std::int32_t version = kExeResourceVersion) const {
        TDLLInfoItem i;
        i.Locale = 0x0407;
        i.Version = version;
        i.EnglishName = u"German";
        return i;
    }

    TempDir dir;
    TLocUtils utils;
    TLocStorage storage;
    std::size_t german = 0;
};

// A module file that is a FIFO, or far larger than any module, is refused at once: loading it
// neither waits for a writer nor fills the memory, and the program's own texts stay.
TEST_F(LocUtilsTest, ModuleThatIsNoFileOrTooLargeIsRefused) {
    const auto modules = dir.path() / "modules";
    std::filesystem::create_directories(modules);
    const auto fifo = modules / "runemeter.FRA";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto huge = modules / "runemeter.ITA";
    writeFile(huge, std::vector<std::byte>{std::byte{0x4D}});
    std::error_code ec;
    std::filesystem::resize_file(huge, std::uintmax_t{1} << 34, ec);  // 16 GiB, sparse
    for (const auto& module : {fifo, huge}) {
        if (module == huge && ec) {
            continue;  // no room for a sparse file here
        }
        EXPECT_THROW(utils.LoadResource(module), ELULoadResLibError) << module;
        EXPECT_FALSE(utils.ModuleIsCurrent());
        EXPECT_EQ(ResourceString(ResId::VTTotal), u"Total");
    }
}

TEST_F(LocUtilsTest, BuildAndLoadAModule) {
    const auto module = dir.path() / "modules" / "runemeter.DEU";
    utils.CreateLDLL(module, {}, false, storage, german, info());
    utils.LoadResource(module);
    EXPECT_TRUE(utils.ModuleIsCurrent());
    EXPECT_EQ(utils.GetCurrentInfo().Locale, 0x0407u);
    EXPECT_EQ(utils.GetCurrentInfo().FileName, module);
    EXPECT_EQ(ResourceString(ResId::VTTotal), u"Summe");
    EXPECT_EQ(ResourceString(ResId::VTLetter), u"ein Buchstabe");
    EXPECT_EQ(ResourceString(ResId::VTDigit), u"digit") << "untranslated: the program's text";
    utils.BackToExe();
    EXPECT_FALSE(utils.ModuleIsCurrent());
    EXPECT_EQ(utils.GetCurrentInfo(), ExeSettings(utils.FAppFileName));
    EXPECT_EQ(ResourceString(ResId::VTTotal), u"Total");
}

TEST_F(LocUtilsTest, CheckSyncKeepsTextsThatChangedSinceTheTranslation) {
    const auto module = dir.path() / "runemeter.DEU";
    utils.CreateLDLL(module, {}, true, storage, german, info());
    utils.LoadResource(module);
    EXPECT_EQ(ResourceString(ResId::VTTotal), u"Summe");
    EXPECT_EQ(ResourceString(ResId::VTLetter), u"letter");
}

TEST_F(LocUtilsTest, ANativeModuleServesAsTemplate) {
    LanguageModule native;
    native.settings = ExeSettings({});
    native.strings = {{ResId::VTTotal, u"Total"}, {ResId::VTSpace, u"Blank"}};
    const auto templ = dir.path() / "runemeter.ntv";
    writeFile(templ, writeLanguageModule(native));
    const auto module = dir.path() / "runemeter.DEU";
    utils.CreateLDLL(module, templ, true, storage, german, info());
    utils.LoadResource(module);
    EXPECT_EQ(ResourceString(ResId::VTTotal), u"Summe");
    EXPECT_EQ(ResourceString(ResId::VTSpace), u"Blank");

    writeFile(templ, toBytes("garbage"));
    try {
        utils.CreateLDLL(module, templ, true, storage, german, info());
        FAIL() << "no error";
    } catch (const ELangFileError& error) {
        EXPECT_STREQ(error.what(), "Can't create DLL. The native DLL is invalid");
    }
}

TEST_F(LocUtilsTest, AModuleOfAnotherVersion) {
    const auto module = dir.path() / "runemeter.DEU";
    utils.CreateLDLL(module, {}, false, storage, german, info(181));
    utils.LoadResource(module);  // quietly refused under the engine
    EXPECT_FALSE(utils.ModuleIsCurrent());
    EXPECT_EQ(ResourceString(ResId::VTTotal), u"Total");
    utils.FUnderOnFly = false;
    EXPECT_THROW(utils.LoadResource(module), ELULoadResLibError);
}

TEST_F(LocUtilsTest, AFileThatIsNoModule) {
    const auto missing = dir.path() / "runemeter.ITA";
    try {
        utils.LoadResource(missing);
        FAIL() << "no error";
    } catch (const ELULoadResLibError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Error loading resource file \"" + missing.string() + "\"");
    }
    writeFile(missing, toBytes("LOC_LIBSETTINGS_"));
    EXPECT_THROW(utils.LoadResource(missing), ELULoadResLibError);
    EXPECT_EQ(ResourceString(ResId::VTTotal), u"Total");
}

}  // namespace
}  // namespace runemeter
