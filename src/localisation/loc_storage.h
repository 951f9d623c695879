// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The in-memory language store: every translatable item of the program with one value per
// loaded language. Units hold constants (resource strings), forms hold their own properties and
// components with properties, external groups hold named external items.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace runemeter {

class TLocStorage;
class TLocValueList;
class TLocItem;
class TLocComponent;
class TLocUnit;
class TLocExtGroup;

/// Types of property values, in the order of their numbers in language files.
enum class TLocValueType : std::uint8_t {
    ptFloat = 0,
    ptInteger = 1,
    ptString = 2,
    ptList = 3,
    ptStringList = 4,
    ptBinary = 5,
    ptEnumValue = 6,
    ptSet = 7,
    ptBigInt = 8,
};

/// True for the types whose value is held as the decimal text of a number.
[[nodiscard]] constexpr bool isNumericType(TLocValueType type) noexcept {
    return type == TLocValueType::ptFloat || type == TLocValueType::ptInteger;
}

/// Name of a value type ("ptString"); "pt<number>" for numbers outside the enumeration.
[[nodiscard]] std::string valueTypeName(TLocValueType type);

/// Attribute of a translated value: show it although it is older than the native one.
inline constexpr std::uint16_t kValueAttrShowOutdated = 256;

/// Case-blind comparison of names (simple case folding): <0, 0 or >0.
[[nodiscard]] int compareNames(std::u16string_view a, std::u16string_view b);

/// Base of everything that has a name in the store.
class TNamedItem {
public:
    /// An item with the given name.
    explicit TNamedItem(std::u16string name) : FName(std::move(name)) {}
    virtual ~TNamedItem() = default;
    TNamedItem(const TNamedItem&) = delete;
    TNamedItem& operator=(const TNamedItem&) = delete;

    std::u16string FName;  ///< Identifier as found in the program.
    bool FUsed = false;    ///< Set by whoever walks the store and finds the item.
};

/// Owning list sorted case-blind by name, remembering the position of its last look-up.
template <class T>
class TNamedList {
public:
    /// Number of items.
    [[nodiscard]] std::size_t Count() const noexcept { return m_items.size(); }
    /// Item by position.
    [[nodiscard]] T* operator[](std::size_t index) const { return m_items[index].get(); }
    /// Index of the item with this name, or -1.
    [[nodiscard]] std::ptrdiff_t IndexOf(std::u16string_view name) const {
        bool found = false;
        const std::size_t at = locate(name, found);
        return found ? static_cast<std::ptrdiff_t>(at) : -1;
    }
    /// The item with this name, or nullptr.
    [[nodiscard]] T* Find(std::u16string_view name) const {
        const std::ptrdiff_t at = IndexOf(name);
        return at < 0 ? nullptr : m_items[static_cast<std::size_t>(at)].get();
    }
    /// Inserts the item at its sorted place; when the name is already there, the existing item
    /// is returned and the new one dropped.
    T* Add(std::unique_ptr<T> item) {
        bool found = false;
        const std::size_t at = locate(item->FName, found);
        if (!found) {
            m_items.insert(m_items.begin() + static_cast<std::ptrdiff_t>(at), std::move(item));
        }
        m_last = at;
        return m_items[at].get();
    }
    /// Removes and frees the item at index.
    void Delete(std::size_t index) {
        m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(index));
        m_last = 0;
    }
    /// Removes and frees every item.
    void Clear() noexcept {
        m_items.clear();
        m_last = 0;
    }
    [[nodiscard]] auto begin() const noexcept { return m_items.begin(); }  ///< Iteration.
    [[nodiscard]] auto end() const noexcept { return m_items.end(); }      ///< Iteration.

private:
    // Loads usually arrive in name order, so the last position (or the next one) is tried first.
    std::size_t locate(std::u16string_view name, bool& found) const {
        found = false;
        const std::size_t n = m_items.size();
        if (m_last < n) {
            const int c = compareNames(m_items[m_last]->FName, name);
            if (c == 0) {
                found = true;
                return m_last;
            }
            if (c < 0 && (m_last + 1 == n || compareNames(m_items[m_last + 1]->FName, name) > 0)) {
                return m_last + 1;
            }
        }
        std::size_t low = 0;
        std::size_t high = n;
        while (low < high) {
            const std::size_t mid = low + (high - low) / 2;
            const int c = compareNames(m_items[mid]->FName, name);
            if (c == 0) {
                found = true;
                m_last = mid;
                return mid;
            }
            if (c < 0) {
                low = mid + 1;
            } else {
                high = mid;
            }
        }
        return low;
    }

    std::vector<std::unique_ptr<T>> m_items;
    mutable std::size_t m_last = 0;
};

/// One language's value of an item.
class TLocValue {
public:
    /// A value owned by list, in the user's default language.
    explicit TLocValue(TLocValueList* list);

    /// The text; setting it recomputes the sort key (and, for the native value of a constant or
    /// external item, refreshes the untranslated values of the other languages).
    [[nodiscard]] const std::u16string& Value() const noexcept { return FValue; }
    /// Sets the text.
    void SetValue(std::u16string value);
    /// Language of the value.
    [[nodiscard]] std::uint16_t LangID() const noexcept { return FLangID; }
    /// Sets the language and recomputes the sort key.
    void SetLangID(std::uint16_t langId);
    /// The text split at line breaks (CR LF, LF or CR).
    [[nodiscard]] const std::vector<std::u16string>& AsStrings();
    /// Recomputes the sort key from the text.
    void CalcSortKey();
    /// Orders two values: numbers by value for numeric lists, texts by sort key.
    [[nodiscard]] int CompareWith(const TLocValue& other) const;

    TLocValueList* FValueList;       ///< Owner.
    double FModified = 0;            ///< Modification time (days since 1899-12-30).
    std::int32_t FValueVersion = 0;  ///< Version of the text; negative: not yet translated.
    std::uint16_t FAttributes = 0;   ///< Bit set, see kValueAttrShowOutdated.
    /// Whether a text was ever given (by a language file or SetValue); the empty placeholder
    /// that adding a language creates is not, and is never shown.
    bool FSet = false;
    std::vector<std::u16string> FStrings;  ///< Filled by AsStrings().
    std::u16string FSortKey;               ///< Case-folded text.
    std::size_t FSortKeyLen = 0;           ///< Length of FSortKey.

private:
    friend class TLocValueList;
    std::u16string FValue;
    std::uint16_t FLangID;
};

/// The values of one item, one per language of the store.
class TLocValueList {
public:
    /// A list for item with one value per language of the store (at least the native one).
    TLocValueList(TLocItem* owner, std::size_t languageCount, TLocValueType type);

    /// Number of values.
    [[nodiscard]] std::size_t Count() const noexcept { return m_values.size(); }
    /// Value of a language.
    [[nodiscard]] TLocValue* operator[](std::size_t index) const { return m_values[index].get(); }
    /// Appends a value for a newly added language.
    TLocValue* AddValue();
    /// Removes the value of a removed language.
    void DeleteValue(std::size_t index);
    /// The owning item.
    [[nodiscard]] TLocItem* Owner() const noexcept { return m_owner; }

    TLocValueType FValueType;  ///< Type of every value in the list.

private:
    friend class TLocValue;
    void nativeTextChanged();
    TLocItem* m_owner;
    std::vector<std::unique_ptr<TLocValue>> m_values;
};

/// An item with an ID and one value per language.
class TLocItem : public TNamedItem {
public:
    /// An item of storage with the given name, ID and value type.
    TLocItem(TLocStorage* storage, std::u16string name, std::int32_t id, TLocValueType type);
    /// Whether a new native text also refreshes untranslated values of other languages.
    [[nodiscard]] virtual bool RefreshesTranslations() const noexcept { return false; }

    std::int32_t FID;          ///< Identifier shared by all language files.
    TLocStorage* FLocStorage;  ///< The store.
    TLocValueList FValues;     ///< One value per language.
};

/// A published property of a form or component.
class TLocProperty : public TLocItem {
public:
    /// A property owned by parent.
    TLocProperty(TLocComponent* parent, std::u16string name, std::int32_t id, TLocValueType type);
    TLocComponent* FParent;  ///< The component or form.
};

/// A resource string of a unit.
class TLocConstant : public TLocItem {
public:
    /// A constant owned by parent.
    TLocConstant(TLocUnit* parent, std::u16string name, std::int32_t id, std::uint16_t stringId);
    [[nodiscard]] bool RefreshesTranslations() const noexcept override { return true; }
    TLocUnit* FParent;        ///< The unit.
    std::uint16_t FStringID;  ///< Identifier in the program's string table.
};

/// A named item of an external group.
class TLocExtItem : public TLocItem {
public:
    /// An item owned by parent.
    TLocExtItem(TLocExtGroup* parent, std::u16string name, std::int32_t id);
    [[nodiscard]] bool RefreshesTranslations() const noexcept override { return true; }
    TLocExtGroup* FParent;  ///< The group.
};

using TLocPropertyList = TNamedList<TLocProperty>;  ///< Properties by name.
using TLocConstantList = TNamedList<TLocConstant>;  ///< Constants by name.
using TLocExtItemList = TNamedList<TLocExtItem>;    ///< External items by name.

/// A component of a form with its properties.
class TLocComponent : public TNamedItem {
public:
    /// A component of form parent (nullptr for a form itself).
    TLocComponent(TLocComponent* parent, std::u16string name);
    /// Adds a property by name (or finds it) with the given ID and type.
    TLocProperty* AddProperty(std::u16string_view name, std::int32_t id, TLocValueType type);

    TLocComponent* FParent;         ///< The form.
    TLocPropertyList FProperties;   ///< Properties by name.
    std::uint16_t FAttributes = 0;  ///< Bit set from the native file.
    TLocStorage* FLocStorage;       ///< The store (set by the form).
};

using TLocComponentList = TNamedList<TLocComponent>;  ///< Components by name.

/// A form: its own properties and its components.
class TLocForm : public TLocComponent {
public:
    /// A form of storage.
    TLocForm(TLocStorage* storage, std::u16string name);
    /// Adds a component by name or finds it.
    TLocComponent* AddComponent(std::u16string_view name);
    TLocComponentList FComponents;  ///< Components by name.
};

/// A unit with its resource strings.
class TLocUnit : public TNamedItem {
public:
    /// A unit of storage.
    TLocUnit(TLocStorage* storage, std::u16string name);
    /// Adds a constant by name (or finds it) with the given ID and string ID.
    TLocConstant* AddConstant(std::u16string_view name, std::int32_t id, std::uint16_t stringId);
    TLocConstantList FConstants;    ///< Constants by name.
    std::uint16_t FAttributes = 0;  ///< Bit set from the native file.
    TLocStorage* FLocStorage;       ///< The store.
};

/// A group of external items.
class TLocExtGroup : public TNamedItem {
public:
    /// A group of storage.
    TLocExtGroup(TLocStorage* storage, std::u16string name);
    /// Adds an item by name (or finds it) with the given ID.
    TLocExtItem* AddItem(std::u16string_view name, std::int32_t id);
    TLocExtItemList FExternalItems;  ///< Items by name.
    std::uint16_t FAttributes = 0;   ///< Bit set from the native file.
    TLocStorage* FLocStorage;        ///< The store.
};

using TLocFormList = TNamedList<TLocForm>;          ///< Forms by name.
using TLocUnitList = TNamedList<TLocUnit>;          ///< Units by name.
using TLocExtGroupList = TNamedList<TLocExtGroup>;  ///< Groups by name.
using TLocaleList = std::vector<std::uint32_t>;     ///< Language identifiers by store index.

/// The store of all items and their values in every loaded language.
class TLocStorage {
public:
    /// An empty store with the native language only (identifier 0 until a native file is read).
    TLocStorage();
    TLocStorage(const TLocStorage&) = delete;
    TLocStorage& operator=(const TLocStorage&) = delete;

    /// Adds a unit by name or finds it.
    TLocUnit* AddUnit(std::u16string_view name);
    /// Adds a form by name or finds it.
    TLocForm* AddForm(std::u16string_view name);
    /// Adds an external group by name or finds it.
    TLocExtGroup* AddExtGroup(std::u16string_view name);
    /// Frees every unit, form and group (the languages stay).
    void Clear() noexcept;

    /// Number of loaded languages (the native one included).
    [[nodiscard]] std::size_t LanguageCount() const noexcept { return FLocales.size(); }
    /// Appends a language: a new value at the end of every item; returns its index.
    std::size_t AddLanguage(std::uint32_t locale);
    /// Index of a loaded language or -1.
    [[nodiscard]] std::ptrdiff_t IndexOfLocale(std::uint32_t locale) const noexcept;
    /// Removes a translated language and its values (index 1 and up).
    void RemoveLanguage(std::size_t index);

    /// The first constant with this ID, or nullptr.
    [[nodiscard]] TLocConstant* FindConstByIntID(std::int32_t id) const noexcept;
    /// The first property with this ID, or nullptr.
    [[nodiscard]] TLocProperty* FindPropByIntID(std::int32_t id) const noexcept;
    /// The item of a group by names, or nullptr.
    [[nodiscard]] TLocExtItem* FindExtItem(std::u16string_view group,
                                           std::u16string_view item) const noexcept;

    /// Every constant in store order (units by name, constants by name).
    [[nodiscard]] std::vector<TLocConstant*> AllConstants() const;
    /// Every property in store order (forms by name; own properties, then components).
    [[nodiscard]] std::vector<TLocProperty*> AllProperties() const;
    /// Every external item in store order.
    [[nodiscard]] std::vector<TLocExtItem*> AllExtItems() const;
    /// Every item of every kind.
    [[nodiscard]] std::vector<TLocItem*> AllItems() const;

    TLocFormList FForms;            ///< Forms by name.
    TLocUnitList FUnits;            ///< Units by name.
    TLocExtGroupList FExtGroups;    ///< External groups by name.
    std::uint16_t FMainLangID = 0;  ///< Native language.
    std::size_t FCurLangIndex = 0;  ///< Language whose values are in use.
    TLocaleList FLocales;           ///< Languages by index; 0 is the native one.
};

}  // namespace runemeter
