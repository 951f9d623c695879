#include <gtest/gtest.h>

#include <string>

#include "localisation/LocStorage.h"

namespace runemeter {
namespace {

TEST(LocStorage, NamedListsAreSortedCaseBlindAndKeepTheFirstItem) {
    TLocStorage store;
    TLocUnit* first = store.AddUnit(u"beta");
    store.AddUnit(u"Alpha");
    store.AddUnit(u"gamma");
    store.AddUnit(u"\u00c9clair");  // folds to "\u00e9clair", after the ASCII names
    EXPECT_EQ(store.AddUnit(u"BETA"), first);
    EXPECT_EQ(first->FName, u"beta");
    ASSERT_EQ(store.FUnits.Count(), 4u);
    EXPECT_EQ(store.FUnits[0]->FName, u"Alpha");
    EXPECT_EQ(store.FUnits[1]->FName, u"beta");
    EXPECT_EQ(store.FUnits[2]->FName, u"gamma");
    EXPECT_EQ(store.FUnits.Find(u"\u00e9CLAIR")->FName, u"\u00c9clair");
    EXPECT_EQ(store.FUnits.IndexOf(u"delta"), -1);
    EXPECT_EQ(store.FUnits.Find(u"alph"), nullptr);
}

TEST(LocStorage, NamedListStaysSortedWhateverTheInsertionOrder) {
    // Insertion orders that exercise the remembered position: ascending, descending, mixed.
    const std::vector<std::vector<std::u16string>> orders = {
        {u"a", u"b", u"c", u"d", u"e"},
        {u"e", u"d", u"c", u"b", u"a"},
        {u"c", u"a", u"e", u"b", u"d"},
        {u"b", u"d", u"a", u"c", u"e", u"C", u"A"},
    };
    for (const auto& order : orders) {
        TLocStorage store;
        TLocForm* form = store.AddForm(u"F");
        for (const auto& name : order) {
            form->AddComponent(name);
            // A look-up between inserts moves the remembered position.
            (void)form->FComponents.Find(u"c");
        }
        std::u16string joined;
        for (const auto& c : form->FComponents) {
            joined += c->FName;
        }
        EXPECT_EQ(joined.size(), 5u);
        std::u16string folded;
        for (char16_t ch : joined) {
            folded.push_back(ch >= u'A' && ch <= u'Z' ? ch + 32 : ch);
        }
        EXPECT_EQ(folded, u"abcde");
    }
}

TEST(LocStorage, LanguagesAddAndRemoveValuesEverywhere) {
    TLocStorage store;
    TLocConstant* c = store.AddUnit(u"U")->AddConstant(u"C", 1, 100);
    TLocProperty* p = store.AddForm(u"F")->AddComponent(u"B")->AddProperty(u"Caption", 2,
                                                                           TLocValueType::ptString);
    TLocExtItem* e = store.AddExtGroup(u"G")->AddItem(u"I", 3);
    EXPECT_EQ(store.LanguageCount(), 1u);
    EXPECT_EQ(c->FValues.Count(), 1u);

    EXPECT_EQ(store.AddLanguage(0x0407), 1u);
    EXPECT_EQ(store.AddLanguage(0x040C), 2u);
    for (TLocItem* item : std::initializer_list<TLocItem*>{c, p, e}) {
        ASSERT_EQ(item->FValues.Count(), 3u);
        EXPECT_EQ(item->FValues[2]->LangID(), 0x040C);
    }
    // Items made later get a value for every language too.
    TLocConstant* late = store.FUnits[0]->AddConstant(u"D", 4, 101);
    EXPECT_EQ(late->FValues.Count(), 3u);
    EXPECT_EQ(late->FValues[1]->LangID(), 0x0407);

    EXPECT_EQ(store.IndexOfLocale(0x040C), 2);
    EXPECT_EQ(store.IndexOfLocale(0x0419), -1);
    c->FValues[2]->SetValue(u"fr");
    store.FCurLangIndex = 2;
    store.RemoveLanguage(1);
    EXPECT_EQ(store.LanguageCount(), 2u);
    EXPECT_EQ(store.IndexOfLocale(0x040C), 1);
    EXPECT_EQ(c->FValues.Count(), 2u);
    EXPECT_EQ(c->FValues[1]->Value(), u"fr");
    EXPECT_EQ(store.FCurLangIndex, 1u);
    EXPECT_THROW(store.RemoveLanguage(0), std::out_of_range);
    EXPECT_THROW(store.RemoveLanguage(5), std::out_of_range);
}

TEST(LocStorage, FindByIdAndByName) {
    TLocStorage store;
    TLocForm* form = store.AddForm(u"TForm1");
    TLocProperty* own = form->AddProperty(u"Caption", 7, TLocValueType::ptString);
    TLocProperty* inner =
        form->AddComponent(u"Button1")->AddProperty(u"Caption", 8, TLocValueType::ptString);
    TLocConstant* c = store.AddUnit(u"U")->AddConstant(u"S", 7, 1);
    TLocExtItem* e = store.AddExtGroup(u"Group")->AddItem(u"Item", 9);
    EXPECT_EQ(store.FindPropByIntID(7), own);
    EXPECT_EQ(store.FindPropByIntID(8), inner);
    EXPECT_EQ(store.FindPropByIntID(9), nullptr);
    EXPECT_EQ(store.FindConstByIntID(7), c);
    EXPECT_EQ(store.FindExtItem(u"GROUP", u"item"), e);
    EXPECT_EQ(store.FindExtItem(u"Group", u"Other"), nullptr);
    EXPECT_EQ(store.FindExtItem(u"None", u"Item"), nullptr);
    EXPECT_EQ(inner->FParent->FParent, form);
    EXPECT_EQ(inner->FLocStorage, &store);
}

TEST(LocStorage, CompareWithOrdersNumbersByValueAndTextsCaseBlind) {
    TLocStorage store;
    TLocComponent* b = store.AddForm(u"F")->AddComponent(u"B");
    TLocProperty* n1 = b->AddProperty(u"A", 1, TLocValueType::ptInteger);
    TLocProperty* n2 = b->AddProperty(u"B", 2, TLocValueType::ptInteger);
    n1->FValues[0]->SetValue(u"9");
    n2->FValues[0]->SetValue(u"10");
    EXPECT_LT(n1->FValues[0]->CompareWith(*n2->FValues[0]), 0);  // 9 < 10, unlike "9" > "10"
    TLocProperty* f1 = b->AddProperty(u"C", 3, TLocValueType::ptFloat);
    TLocProperty* f2 = b->AddProperty(u"D", 4, TLocValueType::ptFloat);
    f1->FValues[0]->SetValue(u"-2.5");
    f2->FValues[0]->SetValue(u"-10");
    EXPECT_GT(f1->FValues[0]->CompareWith(*f2->FValues[0]), 0);

    struct Case {
        std::u16string a;
        std::u16string b;
        int expected;
    };
    const Case cases[] = {
        {u"apple", u"APPLE", 0}, {u"apple", u"Banana", -1}, {u"\u00c4rger", u"\u00e4rger", 0},
        {u"abc", u"ab", 1},      {u"9", u"10", 1},          {u"\u0416", u"\u0436", 0},
    };
    TLocProperty* s1 = b->AddProperty(u"E", 5, TLocValueType::ptString);
    TLocProperty* s2 = b->AddProperty(u"F", 6, TLocValueType::ptString);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a.begin(), c.a.end()));
        s1->FValues[0]->SetValue(c.a);
        s2->FValues[0]->SetValue(c.b);
        EXPECT_EQ(s1->FValues[0]->CompareWith(*s2->FValues[0]), c.expected);
        EXPECT_EQ(s1->FValues[0]->FSortKeyLen, c.a.size());
    }
}

TEST(LocStorage, AsStringsSplitsAtEveryKindOfLineBreak) {
    TLocStorage store;
    TLocValue* v = store.AddUnit(u"U")->AddConstant(u"C", 1, 1)->FValues[0];
    v->SetValue(u"one\r\ntwo\nthree\rfour\r\n");
    const std::vector<std::u16string> expected = {u"one", u"two", u"three", u"four"};
    EXPECT_EQ(v->AsStrings(), expected);
    v->SetValue(u"a\n\nb");
    EXPECT_EQ(v->AsStrings(), (std::vector<std::u16string>{u"a", u"", u"b"}));
    v->SetValue(u"");
    EXPECT_TRUE(v->AsStrings().empty());
}

TEST(LocStorage, NativeTextRefreshesUntranslatedValuesThroughCodePages) {
    TLocStorage store;
    store.FMainLangID = 0x0409;  // Windows-1252
    store.FLocales[0] = 0x0409;
    store.AddLanguage(0x0419);  // Russian, Windows-1251
    store.AddLanguage(0x0407);  // German, Windows-1252
    store.AddLanguage(0x0804);  // Chinese, code page 936: no table, kept as it is
    TLocConstant* c = store.AddUnit(u"U")->AddConstant(u"C", 1, 1);
    TLocProperty* p = store.AddForm(u"F")->AddProperty(u"Caption", 2, TLocValueType::ptString);
    for (std::size_t i = 1; i < 4; ++i) {
        c->FValues[i]->FValueVersion = -1;
        p->FValues[i]->FValueVersion = -1;
    }
    c->FValues[2]->FValueVersion = 1;
    c->FValues[2]->SetValue(u"Kaffee");

    c->FValues[0]->SetValue(u"caf\u00e9 \u20ac \u0416");
    // 0xE9 in Windows-1251 is U+0439, 0x80 (the euro sign in 1252) is U+0402; U+0416 is not
    // in 1252.
    EXPECT_EQ(c->FValues[1]->Value(), u"caf\u0439 \u0402 ?");
    EXPECT_EQ(c->FValues[2]->Value(), u"Kaffee");  // translated: left alone
    EXPECT_EQ(c->FValues[3]->Value(), u"caf\u00e9 \u20ac \u0416");

    p->FValues[0]->SetValue(u"caf\u00e9");  // properties are not refreshed
    EXPECT_EQ(p->FValues[1]->Value(), u"");
}

}  // namespace
}  // namespace runemeter
