#pragma once

// Helpers of the engine tests: a program folder with an interfaces folder and language files
// written by the tests, and an engine on its own module manager.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "localisation/LocOnFly.h"
#include "localisation/LocUtils.h"
#include "localisation/lang_file_format.h"
#include "localisation/lang_test_util.h"
#include "suite/resource_strings.h"

namespace runemeter::testing {

inline constexpr std::uint32_t kEnglishUK = 0x0809;
inline constexpr std::uint32_t kGerman = 0x0407;
inline constexpr std::uint32_t kFrench = 0x040C;

/// The native file: the VTTotal resource string, Form1's title and Label1's text.
inline LangFileImage nativeLanguage(std::uint16_t attributes = 0) {
    LangFileImage image;
    image.header.version = kExeResourceVersion;
    image.header.locale = kEnglishUK;
    image.header.englishName = u"English";
    image.header.localizedName = u"English";
    image.header.isNative = 1;
    image.header.attributes = attributes;
    LangRecord total = textRecord(u"VTTotal", 1, u"Total", 1);
    total.stringId = static_cast<std::uint16_t>(ResId::VTTotal);
    image.units.push_back({u"resource_strings", 0, {total}});
    LangFormRecord form{u"Form1", 0, {textRecord(u"windowTitle", 1, u"Runemeter", 1)}, {}};
    form.components.push_back({u"Label1", 0, {textRecord(u"text", 2, u"&file(s)", 1)}});
    image.forms.push_back(form);
    image.header.constMaxId = 1;
    image.header.propertyMaxId = 2;
    return image;
}

/// A translation of nativeLanguage(): VTTotal and Label1's text.
inline LangFileImage translation(std::uint16_t locale, std::u16string englishName,
                                 std::u16string total, std::u16string label,
                                 std::int32_t version = kExeResourceVersion,
                                 std::int32_t labelValueVersion = 1, std::uint16_t attributes = 0) {
    LangFileImage image;
    image.header.version = version;
    image.header.locale = locale;
    image.header.basedOnLangId = kEnglishUK;
    image.header.englishName = std::move(englishName);
    image.header.attributes = attributes;
    LangRecord totalRecord = textRecord(u"VTTotal", 1, std::move(total), 1);
    totalRecord.stringId = static_cast<std::uint16_t>(ResId::VTTotal);
    image.units.push_back({u"resource_strings", 0, {totalRecord}});
    LangFormRecord form{u"Form1", 0, {}, {}};
    form.components.push_back(
        {u"Label1", 0, {textRecord(u"text", 2, std::move(label), labelValueVersion)}});
    image.forms.push_back(form);
    return image;
}

/// A program folder "bin" (the program file need not exist) with "bin/interfaces".
class ProgramFolder {
public:
    ProgramFolder() {
        std::filesystem::create_directories(interfaces());
        utils.FAppFileName = bin() / "runemeter";
        utils.BackToExe();
        engine = std::make_unique<TLocalizerOnFly>(utils);
        engine->FErrorReaction = TErrorReaction::erException;
        engine->SetDLLDir(dir.path() / "modules");
    }
    ~ProgramFolder() {
        engine.reset();
        setResourceStringTranslations({});
    }
    [[nodiscard]] std::filesystem::path bin() const { return dir.path() / "bin"; }
    [[nodiscard]] std::filesystem::path interfaces() const { return bin() / "interfaces"; }
    [[nodiscard]] std::filesystem::path modules() const { return dir.path() / "modules"; }
    /// Writes a language file into the interfaces folder.
    void write(const std::string& name, const LangFileImage& image, bool compress = false) const {
        writeFile(interfaces() / name, writeLangFileImage(image, compress));
    }
    void writeNative() const { write("runemeter.ntv.lng", nativeLanguage()); }
    void writeGerman(std::int32_t version = kExeResourceVersion) const {
        write("runemeter.DEU.lng",
              translation(kGerman, u"German", u"Summe", u"&Datei(en)", version), true);
    }
    void writeFrench() const {
        write("runemeter.FRA.lng",
              translation(kFrench, u"French", u"Total général", u"&fichier(s) fr"));
    }

    TempDir dir;
    TLocUtils utils;
    std::unique_ptr<TLocalizerOnFly> engine;
};

/// Records every walk: the store index in use and Label1's text then.
class RecordingWalker : public TLocFormWalker {
public:
    void TranslateForms(TLocalizerOnFly& engine) override {
        const TLocForm* form = engine.FLocStorage.FForms.Find(u"Form1");
        const TLocComponent* label = form ? form->FComponents.Find(u"Label1") : nullptr;
        const TLocProperty* text = label ? label->FProperties.Find(u"text") : nullptr;
        const TLocValue* value = text ? ValueToApply(*text, engine.FLocStorage.FCurLangIndex,
                                                     engine.FShowUntranslatedAsIs)
                                      : nullptr;
        labels.push_back(value ? value->Value() : u"<none>");
    }
    std::vector<std::u16string> labels;
};

}  // namespace runemeter::testing
