// The device's string order, as list boxes (LBS_SORT) and tree views (TVI_SORT) use it.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

int ignoreCase(const std::u16string& a, const std::u16string& b) {
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1);
}

std::vector<std::u16string> sortedBy(std::vector<std::u16string> v, int (*cmp)(LPCWSTR, LPCWSTR)) {
    std::stable_sort(v.begin(), v.end(),
                     [cmp](const auto& a, const auto& b) { return cmp(a.c_str(), b.c_str()) < 0; });
    return v;
}

TEST(CompareString, SymbolsBeforeDigitsBeforeLetters) {
    EXPECT_EQ(CSTR_LESS_THAN, ignoreCase(u"\\Temp\\", u"_x"));
    EXPECT_EQ(CSTR_LESS_THAN, ignoreCase(u"_x", u"~z"));
    EXPECT_EQ(CSTR_LESS_THAN, ignoreCase(u"~z", u"1"));
    EXPECT_EQ(CSTR_LESS_THAN, ignoreCase(u"9", u"a"));
    EXPECT_EQ(CSTR_LESS_THAN, ignoreCase(u"!", u"#"));
    EXPECT_EQ(CSTR_LESS_THAN, ignoreCase(u"~", u"+"));  // the math signs follow the tilde
    EXPECT_EQ(CSTR_GREATER_THAN, ignoreCase(u"b", u"A"));
}

TEST(CompareString, IgnoreCaseMakesCaseVariantsEqual) {
    EXPECT_EQ(CSTR_EQUAL, ignoreCase(u"Beta", u"bETA"));
    EXPECT_EQ(CSTR_EQUAL, ignoreCase(u"\\Temp\\", u"\\temp\\"));
    EXPECT_EQ(CSTR_LESS_THAN, CompareStringW(0, 0, u"beta", -1, u"Beta", -1));
    // Case decides only after every letter: "ab" < "Ac" whatever the case.
    EXPECT_EQ(CSTR_LESS_THAN, CompareStringW(0, 0, u"Ab", -1, u"ac", -1));
}

TEST(CompareString, HyphenAndApostropheIgnoredInWordSort) {
    EXPECT_EQ(CSTR_GREATER_THAN, ignoreCase(u"-y", u"C"));
    EXPECT_EQ(CSTR_LESS_THAN, ignoreCase(u"co-op", u"cop"));
    EXPECT_EQ(CSTR_LESS_THAN, ignoreCase(u"can't", u"cant1"));
    // Equal in every other way, the one without the hyphen sorts first; still not equal.
    EXPECT_EQ(CSTR_LESS_THAN, ignoreCase(u"coop", u"co-op"));
    // SORT_STRINGSORT weighs them as symbols.
    EXPECT_EQ(CSTR_LESS_THAN,
              CompareStringW(0, SORT_STRINGSORT | NORM_IGNORECASE, u"-y", -1, u"a", -1));
}

TEST(CompareString, LengthsCountsAndPrefixes) {
    EXPECT_EQ(CSTR_LESS_THAN, ignoreCase(u"abc", u"abcd"));
    EXPECT_EQ(CSTR_EQUAL, CompareStringW(0, 0, u"abcX", 3, u"abcY", 3));
    EXPECT_EQ(CSTR_EQUAL, CompareStringW(0, 0, u"", -1, u"", 0));
    EXPECT_EQ(CSTR_LESS_THAN, CompareStringW(0, 0, u"", -1, u"a", -1));
}

TEST(CompareString, AccentsSortWithTheirLetter) {
    EXPECT_EQ(CSTR_LESS_THAN, ignoreCase(u"\u00e9t\u00e9", u"f"));
    EXPECT_EQ(CSTR_LESS_THAN, ignoreCase(u"ete", u"\u00e9te"));
    EXPECT_EQ(CSTR_EQUAL, CompareStringW(0, NORM_IGNORENONSPACE, u"ete", -1, u"\u00e9te", -1));
}

TEST(CompareString, BadArgumentsFailWithLastError) {
    SetLastError(0);
    EXPECT_EQ(0, CompareStringW(0, 0x80000000u, u"a", -1, u"b", -1));
    EXPECT_EQ(1004u, GetLastError());
    SetLastError(0);
    EXPECT_EQ(0, CompareStringW(0, 0, nullptr, 3, u"b", -1));
    EXPECT_EQ(87u, GetLastError());
}

TEST(Lstrcmp, CaseSensitiveWordSortLowerFirst) {
    const std::vector<std::u16string> in = {u"b", u"A", u"a", u"_x", u"1", u"B", u"-c", u"\\w"};
    const std::vector<std::u16string> expected = {u"\\w", u"_x", u"1", u"a",
                                                  u"A",   u"b",  u"B", u"-c"};
    EXPECT_EQ(expected, sortedBy(in, lstrcmpW));
    EXPECT_LT(lstrcmpW(u"a", u"A"), 0);
    EXPECT_EQ(0, lstrcmpiW(u"a", u"A"));
    EXPECT_LT(lstrcmpW(nullptr, u"a"), 0);
    EXPECT_EQ(0, lstrcmpW(nullptr, nullptr));
}

}  // namespace
