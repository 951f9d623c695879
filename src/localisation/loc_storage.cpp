// SPDX-License-Identifier: GPL-3.0-or-later
#include "localisation/loc_storage.h"

#include <charconv>
#include <stdexcept>
#include <string>

#include <unicode/uchar.h>

#include "localisation/code_pages.h"
#include "suite/locale_table.h"
#include "suite/unicode_text.h"

namespace runemeter {

namespace {

char16_t foldUnit(char16_t unit) {
    if (unit < 0x80) {
        return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit + 32) : unit;
    }
    if (isSurrogate(unit)) {
        return unit;
    }
    const UChar32 folded = u_foldCase(unit, U_FOLD_CASE_DEFAULT);
    // Simple folding of a BMP character stays in the BMP except for no known case; be safe.
    return folded <= 0xFFFF ? static_cast<char16_t>(folded) : unit;
}

double numberOf(std::u16string_view text) {
    std::string ascii;
    for (const char16_t unit : text) {
        if (unit > 0x7F) {
            return 0;
        }
        ascii.push_back(static_cast<char>(unit));
    }
    double value = 0;
    const char* first = ascii.data();
    const char* last = first + ascii.size();
    while (first != last && *first == ' ') {
        ++first;
    }
    if (first != last && *first == '+') {
        ++first;
    }
    const auto result = std::from_chars(first, last, value);
    return result.ec == std::errc() ? value : 0;
}

std::uint16_t defaultLangID() {
    static const std::uint16_t id = UserDefaultLangID();
    return id;
}

}  // namespace

std::string valueTypeName(TLocValueType type) {
    static constexpr const char* kNames[] = {"ptFloat",     "ptInteger",    "ptString",
                                             "ptList",      "ptStringList", "ptBinary",
                                             "ptEnumValue", "ptSet",        "ptBigInt"};
    const auto number = static_cast<unsigned>(type);
    if (number < std::size(kNames)) {
        return kNames[number];
    }
    return "pt" + std::to_string(number);
}

int compareNames(std::u16string_view a, std::u16string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t x = foldUnit(a[i]);
        const char16_t y = foldUnit(b[i]);
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// TLocValue

TLocValue::TLocValue(TLocValueList* list) : FValueList(list), FLangID(defaultLangID()) {}

void TLocValue::SetValue(std::u16string value) {
    FValue = std::move(value);
    FSet = true;
    CalcSortKey();
    if (FValueList != nullptr && FValueList->Count() > 0 && (*FValueList)[0] == this) {
        FValueList->nativeTextChanged();
    }
}

void TLocValue::SetLangID(std::uint16_t langId) {
    FLangID = langId;
    CalcSortKey();
}

const std::vector<std::u16string>& TLocValue::AsStrings() {
    FStrings.clear();
    std::u16string line;
    bool pending = false;
    for (std::size_t i = 0; i < FValue.size(); ++i) {
        const char16_t unit = FValue[i];
        if (unit == u'\r' || unit == u'\n') {
            FStrings.push_back(std::move(line));
            line.clear();
            pending = false;
            if (unit == u'\r' && i + 1 < FValue.size() && FValue[i + 1] == u'\n') {
                ++i;
            }
            continue;
        }
        line.push_back(unit);
        pending = true;
    }
    if (pending) {
        FStrings.push_back(std::move(line));
    }
    return FStrings;
}

void TLocValue::CalcSortKey() {
    // The case-folded UTF-16 text orders the same way in every language, which an 8-bit key
    // of the value's code page would not do for characters outside that code page.
    FSortKey.resize(FValue.size());
    for (std::size_t i = 0; i < FValue.size(); ++i) {
        FSortKey[i] = foldUnit(FValue[i]);
    }
    FSortKeyLen = FSortKey.size();
}

int TLocValue::CompareWith(const TLocValue& other) const {
    const bool numeric = FValueList != nullptr && isNumericType(FValueList->FValueType);
    if (numeric) {
        const double a = numberOf(FValue);
        const double b = numberOf(other.FValue);
        return a < b ? -1 : (b < a ? 1 : 0);
    }
    const int c = FSortKey.compare(other.FSortKey);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// TLocValueList

TLocValueList::TLocValueList(TLocItem* owner, std::size_t languageCount, TLocValueType type)
    : FValueType(type), m_owner(owner) {
    const std::size_t count = languageCount == 0 ? 1 : languageCount;
    for (std::size_t i = 0; i < count; ++i) {
        m_values.push_back(std::make_unique<TLocValue>(this));
    }
}

TLocValue* TLocValueList::AddValue() {
    m_values.push_back(std::make_unique<TLocValue>(this));
    return m_values.back().get();
}

void TLocValueList::DeleteValue(std::size_t index) {
    if (index < m_values.size()) {
        m_values.erase(m_values.begin() + static_cast<std::ptrdiff_t>(index));
    }
}

void TLocValueList::nativeTextChanged() {
    if (m_owner == nullptr || !m_owner->RefreshesTranslations()) {
        return;
    }
    const TLocValue& native = *m_values[0];
    const std::uint32_t nativeLang =
        m_owner->FLocStorage != nullptr ? m_owner->FLocStorage->FMainLangID : native.FLangID;
    const int fromCodePage = AnsiCodePageOf(nativeLang);
    for (std::size_t i = 1; i < m_values.size(); ++i) {
        TLocValue& value = *m_values[i];
        if (value.FValueVersion < 0) {
            value.FValue = roundTripThroughCodePages(native.FValue, fromCodePage,
                                                     AnsiCodePageOf(value.FLangID));
            value.CalcSortKey();
        }
    }
}

// Items

TLocItem::TLocItem(TLocStorage* storage, std::u16string name, std::int32_t id, TLocValueType type)
    : TNamedItem(std::move(name)),
      FID(id),
      FLocStorage(storage),
      FValues(this, storage != nullptr ? storage->LanguageCount() : 1, type) {
    if (storage != nullptr) {
        for (std::size_t i = 0; i < FValues.Count() && i < storage->FLocales.size(); ++i) {
            if (storage->FLocales[i] != 0) {
                FValues[i]->SetLangID(static_cast<std::uint16_t>(storage->FLocales[i]));
            }
        }
    }
}

TLocProperty::TLocProperty(TLocComponent* parent, std::u16string name, std::int32_t id,
                           TLocValueType type)
    : TLocItem(parent != nullptr ? parent->FLocStorage : nullptr, std::move(name), id, type),
      FParent(parent) {}

TLocConstant::TLocConstant(TLocUnit* parent, std::u16string name, std::int32_t id,
                           std::uint16_t stringId)
    : TLocItem(parent != nullptr ? parent->FLocStorage : nullptr, std::move(name), id,
               TLocValueType::ptString),
      FParent(parent),
      FStringID(stringId) {}

TLocExtItem::TLocExtItem(TLocExtGroup* parent, std::u16string name, std::int32_t id)
    : TLocItem(parent != nullptr ? parent->FLocStorage : nullptr, std::move(name), id,
               TLocValueType::ptString),
      FParent(parent) {}

// Containers

TLocComponent::TLocComponent(TLocComponent* parent, std::u16string name)
    : TNamedItem(std::move(name)),
      FParent(parent),
      FLocStorage(parent != nullptr ? parent->FLocStorage : nullptr) {}

TLocProperty* TLocComponent::AddProperty(std::u16string_view name, std::int32_t id,
                                         TLocValueType type) {
    TLocProperty* property =
        FProperties.Add(std::make_unique<TLocProperty>(this, std::u16string(name), id, type));
    property->FID = id;
    property->FValues.FValueType = type;
    return property;
}

TLocForm::TLocForm(TLocStorage* storage, std::u16string name)
    : TLocComponent(nullptr, std::move(name)) {
    FLocStorage = storage;
}

TLocComponent* TLocForm::AddComponent(std::u16string_view name) {
    return FComponents.Add(std::make_unique<TLocComponent>(this, std::u16string(name)));
}

TLocUnit::TLocUnit(TLocStorage* storage, std::u16string name)
    : TNamedItem(std::move(name)), FLocStorage(storage) {}

TLocConstant* TLocUnit::AddConstant(std::u16string_view name, std::int32_t id,
                                    std::uint16_t stringId) {
    TLocConstant* constant =
        FConstants.Add(std::make_unique<TLocConstant>(this, std::u16string(name), id, stringId));
    constant->FID = id;
    constant->FStringID = stringId;
    return constant;
}

TLocExtGroup::TLocExtGroup(TLocStorage* storage, std::u16string name)
    : TNamedItem(std::move(name)), FLocStorage(storage) {}

TLocExtItem* TLocExtGroup::AddItem(std::u16string_view name, std::int32_t id) {
    TLocExtItem* item =
        FExternalItems.Add(std::make_unique<TLocExtItem>(this, std::u16string(name), id));
    item->FID = id;
    return item;
}

// TLocStorage

TLocStorage::TLocStorage() : FLocales{0} {}

TLocUnit* TLocStorage::AddUnit(std::u16string_view name) {
    return FUnits.Add(std::make_unique<TLocUnit>(this, std::u16string(name)));
}

TLocForm* TLocStorage::AddForm(std::u16string_view name) {
    return FForms.Add(std::make_unique<TLocForm>(this, std::u16string(name)));
}

TLocExtGroup* TLocStorage::AddExtGroup(std::u16string_view name) {
    return FExtGroups.Add(std::make_unique<TLocExtGroup>(this, std::u16string(name)));
}

void TLocStorage::Clear() noexcept {
    FForms.Clear();
    FUnits.Clear();
    FExtGroups.Clear();
}

std::size_t TLocStorage::AddLanguage(std::uint32_t locale) {
    FLocales.push_back(locale);
    for (TLocItem* item : AllItems()) {
        TLocValue* value = item->FValues.AddValue();
        if (locale != 0) {
            value->SetLangID(static_cast<std::uint16_t>(locale));
        }
    }
    return FLocales.size() - 1;
}

std::ptrdiff_t TLocStorage::IndexOfLocale(std::uint32_t locale) const noexcept {
    for (std::size_t i = 0; i < FLocales.size(); ++i) {
        if (FLocales[i] == locale) {
            return static_cast<std::ptrdiff_t>(i);
        }
    }
    return -1;
}

void TLocStorage::RemoveLanguage(std::size_t index) {
    if (index == 0 || index >= FLocales.size()) {
        throw std::out_of_range(
            "Language index " + std::to_string(index) +
            " can not be removed (languages: " + std::to_string(FLocales.size()) + ")");
    }
    FLocales.erase(FLocales.begin() + static_cast<std::ptrdiff_t>(index));
    for (TLocItem* item : AllItems()) {
        item->FValues.DeleteValue(index);
    }
    if (FCurLangIndex == index) {
        FCurLangIndex = 0;
    } else if (FCurLangIndex > index) {
        --FCurLangIndex;
    }
}

std::vector<TLocConstant*> TLocStorage::AllConstants() const {
    std::vector<TLocConstant*> all;
    for (const auto& unit : FUnits) {
        for (const auto& constant : unit->FConstants) {
            all.push_back(constant.get());
        }
    }
    return all;
}

std::vector<TLocProperty*> TLocStorage::AllProperties() const {
    std::vector<TLocProperty*> all;
    for (const auto& form : FForms) {
        for (const auto& property : form->FProperties) {
            all.push_back(property.get());
        }
        for (const auto& component : form->FComponents) {
            for (const auto& property : component->FProperties) {
                all.push_back(property.get());
            }
        }
    }
    return all;
}

std::vector<TLocExtItem*> TLocStorage::AllExtItems() const {
    std::vector<TLocExtItem*> all;
    for (const auto& group : FExtGroups) {
        for (const auto& item : group->FExternalItems) {
            all.push_back(item.get());
        }
    }
    return all;
}

std::vector<TLocItem*> TLocStorage::AllItems() const {
    std::vector<TLocItem*> all;
    for (TLocConstant* c : AllConstants()) {
        all.push_back(c);
    }
    for (TLocProperty* p : AllProperties()) {
        all.push_back(p);
    }
    for (TLocExtItem* e : AllExtItems()) {
        all.push_back(e);
    }
    return all;
}

TLocConstant* TLocStorage::FindConstByIntID(std::int32_t id) const noexcept {
    for (const auto& unit : FUnits) {
        for (const auto& constant : unit->FConstants) {
            if (constant->FID == id) {
                return constant.get();
            }
        }
    }
    return nullptr;
}

TLocProperty* TLocStorage::FindPropByIntID(std::int32_t id) const noexcept {
    for (const auto& form : FForms) {
        for (const auto& property : form->FProperties) {
            if (property->FID == id) {
                return property.get();
            }
        }
        for (const auto& component : form->FComponents) {
            for (const auto& property : component->FProperties) {
                if (property->FID == id) {
                    return property.get();
                }
            }
        }
    }
    return nullptr;
}

TLocExtItem* TLocStorage::FindExtItem(std::u16string_view group,
                                      std::u16string_view item) const noexcept {
    const TLocExtGroup* found = FExtGroups.Find(group);
    return found == nullptr ? nullptr : found->FExternalItems.Find(item);
}

}  // namespace runemeter
