// SPDX-License-Identifier: GPL-3.0-or-later
#include "frame/about_text.h"

#include <array>
#include <string_view>

#include "profile/char_properties.h"
#include "suite/resource_strings.h"
#include "suite/tool_services.h"
#include "suite/unicode_text.h"

namespace runemeter {

namespace {

std::u16string formatOne(ResId id, std::u16string_view value) {
    return formatWithStrings(ResourceString(id), std::array<std::u16string_view, 1>{value});
}

}  // namespace

std::u16string AboutTitle() {
    return formatOne(ResId::VTAboutTitle, Tool_Name(kRunemeterTool));
}

std::u16string AboutText() {
    const std::u16string version = utf8ToUtf16(RUNEMETER_VERSION);
    return Tool_Name(kRunemeterTool) + u" " + formatOne(ResId::VTAboutVersion, version) + u"\n" +
           unicodeVersionLine() + u"\n\n" + formatOne(ResId::VTAboutLicence, kLicenceId) + u"\n" +
           ResourceString(ResId::VTAboutLicenceMeaning);
}

}  // namespace runemeter
