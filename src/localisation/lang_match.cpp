// SPDX-License-Identifier: GPL-3.0-or-later
#include "localisation/lang_match.h"

#include <algorithm>

#include "suite/unicode_text.h"

namespace runemeter {

namespace {

template <class T>
const T* byName(const std::vector<T>& list, const std::u16string& name) {
    const std::u16string wanted = foldCase(name);
    const auto it = std::find_if(list.begin(), list.end(),
                                 [&](const T& item) { return foldCase(item.name) == wanted; });
    return it == list.end() ? nullptr : &*it;
}

std::string inQuotes(const std::u16string& name) {
    std::string quoted(1, '"');
    quoted += utf16ToUtf8(name);
    quoted += '"';
    return quoted;
}

bool matchRecords(const std::vector<LangRecord>& native, std::vector<LangRecord>& translated,
                  const std::string& where, std::string& error) {
    for (LangRecord& record : translated) {
        const LangRecord* match = byName(native, record.name);
        if (match == nullptr) {
            error = where + " has no " + inQuotes(record.name);
            return false;
        }
        record.id = match->id;
        record.stringId = match->stringId;
        if (record.typeWord != match->typeWord) {
            error = where + ": " + inQuotes(record.name) + " has another value type there";
            return false;
        }
    }
    return true;
}

}  // namespace

bool matchTranslationToNative(const LangFileImage& native, LangFileImage& translation,
                              std::string& error) {
    if (translation.header.isNative != 0) {
        error = "the translation is marked as a native file";
        return false;
    }
    for (LangUnitRecord& unit : translation.units) {
        const LangUnitRecord* match = byName(native.units, unit.name);
        if (match == nullptr) {
            error = "the native file has no unit " + inQuotes(unit.name);
            return false;
        }
        if (!matchRecords(match->constants, unit.constants, "unit " + inQuotes(unit.name), error)) {
            return false;
        }
    }
    for (LangFormRecord& form : translation.forms) {
        const LangFormRecord* match = byName(native.forms, form.name);
        if (match == nullptr) {
            error = "the native file has no form " + inQuotes(form.name);
            return false;
        }
        const std::string where = "form " + inQuotes(form.name);
        if (!matchRecords(match->properties, form.properties, where, error)) {
            return false;
        }
        for (LangComponentRecord& component : form.components) {
            const LangComponentRecord* nativeComponent = byName(match->components, component.name);
            if (nativeComponent == nullptr) {
                error = where + " has no component " + inQuotes(component.name);
                return false;
            }
            if (!matchRecords(nativeComponent->properties, component.properties,
                              where + ", component " + inQuotes(component.name), error)) {
                return false;
            }
        }
    }
    for (LangGroupRecord& group : translation.groups) {
        const LangGroupRecord* match = byName(native.groups, group.name);
        if (match == nullptr) {
            error = "the native file has no group " + inQuotes(group.name);
            return false;
        }
        if (!matchRecords(match->items, group.items, "group " + inQuotes(group.name), error)) {
            return false;
        }
    }
    translation.header.constMaxId = native.header.constMaxId;
    translation.header.propertyMaxId = native.header.propertyMaxId;
    translation.header.extItemMaxId = native.header.extItemMaxId;
    return true;
}

}  // namespace runemeter
