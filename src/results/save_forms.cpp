// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/save_forms.h"

#include <algorithm>
#include <cctype>

namespace runemeter {

namespace {

// The extension of the last path component with its dot, lower case; empty when there is none
// (a leading dot alone, as in ".profile", is a name, not an extension).
std::string extensionOf(std::string_view fileName) {
    const std::size_t slash = fileName.find_last_of('/');
    const std::string_view name =
        slash == std::string_view::npos ? fileName : fileName.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos || dot == 0) {
        return {};
    }
    std::string extension(name.substr(dot));
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

}  // namespace

std::optional<ResultForm> resultFormOf(SaveForm form) {
    switch (form) {
        case SaveForm::CopyText:
            return ResultForm::Tsv;
        case SaveForm::Table:
            return ResultForm::Table;
        case SaveForm::Csv:
            return ResultForm::Csv;
        case SaveForm::Json:
            return ResultForm::Json;
        case SaveForm::Png:
        case SaveForm::Svg:
            break;
    }
    return std::nullopt;
}

std::string_view saveFormExtension(SaveForm form) {
    switch (form) {
        case SaveForm::CopyText:
        case SaveForm::Table:
            return ".tsv";
        case SaveForm::Csv:
            return ".csv";
        case SaveForm::Json:
            return ".json";
        case SaveForm::Png:
            return ".png";
        case SaveForm::Svg:
            break;
    }
    return ".svg";
}

SaveChoice chooseSaveForm(std::string_view fileName, SaveForm filter) {
    const std::string extension = extensionOf(fileName);
    if (extension.empty()) {
        return {filter, std::string(fileName) + std::string(saveFormExtension(filter))};
    }
    SaveForm form = filter;
    if (extension == ".tsv" || extension == ".txt") {
        form = filter == SaveForm::Table ? SaveForm::Table : SaveForm::CopyText;
    } else {
        for (const SaveForm named : {SaveForm::Csv, SaveForm::Json, SaveForm::Png, SaveForm::Svg}) {
            if (extension == saveFormExtension(named)) {
                form = named;
            }
        }
    }
    return {form, std::string(fileName)};
}

}  // namespace runemeter
