// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Language files of the localisation tests, written in the text form of runemeter-lang, and a
// program folder with an engine that switches between them.

#include <functional>
#include <memory>

#include "localisation/lang_text.h"
#include "localisation/loc_on_fly.h"
#include "localisation/loc_utils.h"
#include "suite/resource_strings.h"
#include "support/files.h"

namespace runemeter::testing {

using test::readFile;
using test::TempDir;
using test::writeFile;

inline void writeFile(const std::filesystem::path& file, const std::vector<std::byte>& bytes) {
    test::writeFile(file, {reinterpret_cast<const char*>(bytes.data()), bytes.size()});
}

/// The message of the Error that the action throws, or "<no error>".
template <class Error = NamedError>
std::string messageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Error& error) {
        return error.what();
    }
    return "<no error>";
}

inline constexpr std::uint32_t kEnglishUK = 0x0809;
inline constexpr std::uint32_t kGerman = 0x0407;
inline constexpr std::uint32_t kFrench = 0x040C;

inline const std::string kTotalId = std::to_string(static_cast<int>(ResId::VTTotal));

/// The native file: VTTotal and a constant of negative version, Form1's title, Label1's text and
/// two numbers, and a group.
inline LangFileImage nativeLanguage(std::uint16_t formatVersion = 7) {
    LangFileImage image = langImageFromText(R"lang(build 17
locale 0x0809
based-on 0x0809
english-name "English"
localized-name "English"
is-native 1
attributes 4
const-max-id 2
property-max-id 13
ext-item-max-id 21
unit "resource_strings" attributes=0x0011
  constant "VTTotal" attributes=1 id=1 version=1 time=0x40E6761000000000 string-id=)lang" +
                                            kTotalId + R"lang(
    value "Total"
  constant "SCafe" attributes=0 string-id=60001 id=2 version=-1 time=0
    value "café €\r\n"
form "Form1" attributes=0x0022
  property "windowTitle" attributes=0 id=10 type=ptString version=1 time=0
    value "Runemeter"
  component "Label1" attributes=0x0033
    property "text" attributes=0 id=11 type=ptString version=1 time=0
      value "&file(s)"
    property "Width" attributes=0 id=12 type=ptInteger version=1 time=0
      value -75
    property "Scale" attributes=0 id=13 type=ptFloat version=1 time=0
      value 1.25
group "Types" attributes=0x0044
  item "Letter" attributes=0x0100 id=20 version=2 time=0
    value "letter"
)lang");
    image.header.version = kExeResourceVersion;
    image.header.formatVersion = formatVersion;
    return image;
}

/// A translation of nativeLanguage(): VTTotal and Label1's text.
inline LangFileImage translation(std::uint32_t locale, std::u16string_view englishName,
                                 std::u16string_view total, std::u16string_view label,
                                 std::int32_t version = kExeResourceVersion,
                                 std::int32_t labelVersion = 1, std::uint16_t attributes = 0) {
    return langImageFromText(
        "version " + std::to_string(version) + "\nlocale " + std::to_string(locale) +
        "\nenglish-name " + quoteText(englishName) + "\nattributes " + std::to_string(attributes) +
        "\nunit \"resource_strings\" attributes=0\nconstant \"VTTotal\" attributes=0 string-id=" +
        kTotalId + " id=1 version=1 time=0\nvalue " + quoteText(total) +
        "\nform \"Form1\" attributes=0\ncomponent \"Label1\" attributes=0\n"
        "property \"text\" attributes=0 id=11 type=ptString time=0 version=" +
        std::to_string(labelVersion) + "\nvalue " + quoteText(label) + "\n");
}

/// A program folder "bin" with "bin/interfaces", and an engine that throws its errors.
class ProgramFolder {
public:
    ProgramFolder() {
        std::filesystem::create_directories(interfaces());
        utils.FAppFileName = dir / "bin" / "runemeter";
        utils.BackToExe();
        engine = std::make_unique<TLocalizerOnFly>(utils);
        engine->FErrorReaction = TErrorReaction::erException;
        engine->SetDLLDir(modules());
    }
    ~ProgramFolder() {
        engine.reset();
        setResourceStringTranslations({});
    }
    [[nodiscard]] std::filesystem::path interfaces() const { return dir / "bin" / "interfaces"; }
    [[nodiscard]] std::filesystem::path modules() const { return dir / "modules"; }
    void write(const std::string& name, const LangFileImage& image, bool compress = false) const {
        writeFile(interfaces() / name, writeLangFileImage(image, compress));
    }
    void writeNative() const { write("runemeter.ntv.lng", nativeLanguage()); }
    void writeGerman(std::int32_t version = kExeResourceVersion) const {
        write("runemeter.DEU.lng",
              translation(kGerman, u"German", u"Summe", u"&Datei(en)", version), true);
    }

    TempDir dir;
    TLocUtils utils;
    std::unique_ptr<TLocalizerOnFly> engine;
};

/// Records, at every walk, the text Label1 is given.
class RecordingWalker : public TLocFormWalker {
public:
    void TranslateForms(TLocalizerOnFly& engine) override {
        const TLocForm* form = engine.FLocStorage.FForms.Find(u"Form1");
        const TLocProperty* text = form->FComponents.Find(u"Label1")->FProperties.Find(u"text");
        const TLocValue* value =
            ValueToApply(*text, engine.FLocStorage.FCurLangIndex, engine.FShowUntranslatedAsIs);
        labels.push_back(value ? value->Value() : u"<none>");
    }
    std::vector<std::u16string> labels;
};

}  // namespace runemeter::testing
