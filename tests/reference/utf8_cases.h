// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One table of UTF-8 edge cases, run by every decoder (that replaces malformed input) and every
// validator (that refuses it). Worked out by hand from the rule: each maximal invalid subpart
// (the longest start of a well-formed sequence, at least one byte) becomes one U+FFFD.

#include <string>
#include <string_view>
#include <vector>

namespace runemeter::reference {

struct Utf8Case {
    const char* name;
    std::string bytes;
    std::u16string replaced;  ///< what a replacing decoder gives
    bool valid;               ///< what a strict validator says
};

inline const std::vector<Utf8Case>& utf8Cases() {
    using namespace std::string_literals;
    static const std::u16string r = u"\uFFFD";
    static const std::vector<Utf8Case> cases = {
        {"empty", ""s, u"", true},
        {"ascii", "abc"s, u"abc", true},
        {"valid mix", "$\xC2\xA2\xE2\x82\xAC\xF0\x90\x8D\x88"s, u"$\u00A2\u20AC\U00010348", true},
        {"last before surrogates", "\xED\x9F\xBF"s, u"\uD7FF", true},
        {"first after surrogates", "\xEE\x80\x80"s, u"\uE000", true},
        {"10FFFF itself", "\xF4\x8F\xBF\xBF"s, u"\U0010FFFF", true},
        {"encoded U+FFFD is well-formed", "a\xEF\xBF\xBD"s, u"a\uFFFD", true},
        {"smallest two byte", "\xC2\x80"s, u"\u0080", true},
        {"smallest three byte", "\xE0\xA0\x80"s, u"\u0800", true},
        {"smallest four byte", "\xF0\x90\x80\x80"s, u"\U00010000", true},
        {"stray continuation", "\x80"s, r, false},
        {"two stray continuations", "\x80\xBF"s, r + r, false},
        {"overlong two bytes", "\xC0\x80"s, r + r, false},
        {"overlong C1", "\xC1\xBF"s, r + r, false},
        {"overlong three bytes", "\xE0\x80\x80"s, r + r + r, false},
        {"overlong three bytes, largest", "\xE0\x9F\xBF"s, r + r + r, false},
        {"overlong four bytes", "\xF0\x80\x80\x80"s, r + r + r + r, false},
        {"encoded surrogate D800", "\xED\xA0\x80"s, r + r + r, false},
        {"encoded surrogate DFFF", "\xED\xBF\xBF"s, r + r + r, false},
        {"above 10FFFF", "\xF4\x90\x80\x80"s, r + r + r + r, false},
        {"F5 lead", "\xF5\x80\x80\x80"s, r + r + r + r, false},
        {"five byte form", "\xF8\x88\x80\x80\x80"s, r + r + r + r + r, false},
        {"FE and FF", "\xFE\xFF"s, r + r, false},
        {"truncated two at end", "a\xC3"s, u"a" + r, false},
        {"truncated three at end", "a\xE2\x82"s, u"a" + r, false},
        {"truncated four at end", "a\xF0\x9F\x98"s, u"a" + r, false},
        {"truncated three before ascii",
         "\xE2\x82"
         "A"s,
         r + u"A", false},
        {"truncated four before lead", "\xF0\x9F\xC3\xA9"s, r + u"\u00E9", false},
        {"standard example",
         "a\xF1\x80\x80\xE1\x80\xC2"
         "b\x80"
         "c\x80\xBF"
         "d"s,
         u"a" + r + r + r + u"b" + r + u"c" + r + r + u"d", false},
    };
    return cases;
}

}  // namespace runemeter::reference
