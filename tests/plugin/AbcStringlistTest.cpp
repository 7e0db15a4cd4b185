#include "AbcStringlist.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Entries(const TStringList& list)
{
    std::vector<std::string> r;
    for (std::int32_t i = 0; i < list.Count(); ++i)
        r.push_back(list.Get(i));
    return r;
}

// A list with the given flags (StoreUpperCase set through its setter on an
// empty list, which changes no entry).
struct Flags {
    bool ignoreCase;
    bool storeUpper;
};

void Configure(TAbcStringlist& list, Flags f)
{
    list.IgnoreCase = f.ignoreCase;
    list.SetStoreUpperCase(f.storeUpper);
}

struct SortCase {
    const char* what;
    Flags flags;
    std::vector<std::string> added;
    std::vector<std::string> expected;
};

TEST(AbcStringlist, KeepsEntriesSorted)
{
    const SortCase cases[] = {
        {"both flags set: stored upper case", {true, true}, {"b", "a", "c"}, {"A", "B", "C"}},
        {"both clear: byte order, B before a", {false, false}, {"a", "B"}, {"B", "a"}},
        {"ignore case, stored as given", {true, false}, {"b", "A", "c"}, {"A", "b", "c"}},
        {"prefix sorts first", {true, true}, {"ABC", "AB", "ABCD", "A"}, {"A", "AB", "ABC", "ABCD"}},
        {"greater key appends, smaller inserts at 0", {false, false}, {"m", "z", "a"}, {"a", "m", "z"}},
        // Bytes compare unsigned: 0xE9 is above every ASCII letter, and only
        // a..z are upper-cased.
        {"unsigned bytes", {true, true}, {"\xE9t\xE9", "zebra", "Alpha"}, {"ALPHA", "ZEBRA", "\xE9T\xE9"}},
        {"duplicates ignored", {true, true}, {"x", "X", "x"}, {"X"}},
    };
    for (const SortCase& c : cases) {
        SCOPED_TRACE(c.what);
        TAbcStringlist list;
        Configure(list, c.flags);
        for (const std::string& name : c.added)
            list.AddSorted(name);
        EXPECT_EQ(Entries(list), c.expected);
    }
}

TEST(AbcStringlist, AddSortedAnswersTheIndex)
{
    TAbcStringlist list;
    EXPECT_EQ(list.AddSorted("m"), 0); // empty list: index 0
    EXPECT_EQ(list.AddSorted("z"), 1); // greater than all: the end
    EXPECT_EQ(list.AddSorted("a"), 0);
    EXPECT_EQ(list.AddSorted("n"), 2);
    EXPECT_EQ(list.AddSorted(""), -1);
    EXPECT_EQ(list.AddSorted("N"), -1); // already there, letter case ignored
    EXPECT_EQ(list.Count(), 4);
}

struct FindCase {
    const char* what;
    Flags flags;
    std::vector<std::string> added;
    std::string name;
    std::int32_t expected;
};

TEST(AbcStringlist, FindSorted)
{
    const FindCase cases[] = {
        {"b among a b c", {true, true}, {"b", "a", "c"}, "b", 1},
        {"case ignored", {true, true}, {"Delta", "alpha"}, "DELTA", 1},
        {"case ignored, stored as given", {true, false}, {"Delta", "alpha"}, "dElTa", 1},
        {"case-sensitive miss", {false, false}, {"a"}, "A", -1},
        {"case-sensitive hit", {false, false}, {"a", "B", "c"}, "c", 2},
        {"prefix is not a match", {true, true}, {"ABC"}, "AB", -1},
        {"empty name", {true, true}, {"a"}, "", -1},
        {"empty list", {true, true}, {}, "a", -1},
    };
    for (const FindCase& c : cases) {
        SCOPED_TRACE(c.what);
        TAbcStringlist list;
        Configure(list, c.flags);
        for (const std::string& name : c.added)
            list.AddSorted(name);
        EXPECT_EQ(list.FindSorted(c.name), c.expected);
    }
}

TEST(AbcStringlist, DuplicatePolicies)
{
    TAbcStringlist list;
    list.AddSortedObject("b", &list);
    list.AddSorted("d");

    EXPECT_EQ(list.AddSorted("B"), -1);
    EXPECT_EQ(Entries(list), (std::vector<std::string>{"B", "D"}));

    list.Duplicates = TDuplicates::dupError;
    try {
        list.AddSorted("b");
        FAIL() << "no exception";
    } catch (const EStringListError& e) {
        EXPECT_EQ(e.Message(), "An attempt was made to add a duplicate item to the list");
    }
    EXPECT_EQ(Entries(list), (std::vector<std::string>{"B", "D"}));

    list.Duplicates = TDuplicates::dupAccept;
    const std::int32_t index = list.AddSorted("b");
    EXPECT_TRUE(index == 0 || index == 1);
    EXPECT_EQ(Entries(list), (std::vector<std::string>{"B", "B", "D"}));
}

TEST(AbcStringlist, AddSortedObjectStoresTheObjectOnlyWhenAdded)
{
    int first = 1, second = 2, third = 3;
    TAbcStringlist list;
    EXPECT_EQ(list.AddSortedObject("beta", &first), 0);
    EXPECT_EQ(list.AddSortedObject("alpha", &second), 0);
    EXPECT_EQ(list.AddSortedObject("BETA", &third), -1);
    EXPECT_EQ(list.Objects(0), &second);
    EXPECT_EQ(list.Objects(1), &first);
}

TEST(AbcStringlist, SetStoreUpperCaseRewritesEntries)
{
    TAbcStringlist list;
    list.SetStoreUpperCase(false);
    list.AddSorted("x");
    list.AddSorted("Y");
    EXPECT_EQ(Entries(list), (std::vector<std::string>{"x", "Y"}));
    list.SetStoreUpperCase(true);
    EXPECT_EQ(Entries(list), (std::vector<std::string>{"X", "Y"}));
    EXPECT_TRUE(list.GetStoreUpperCase());
    list.SetStoreUpperCase(false); // switching off leaves the entries
    EXPECT_EQ(Entries(list), (std::vector<std::string>{"X", "Y"}));
}

// Many random keys, case-sensitive and case-insensitive: the entries stay in
// order of their compared forms and every key is found again.
TEST(AbcStringlist, RandomKeysStaySortedAndFindable)
{
    std::mt19937 rng(12345);
    const std::string alphabet = "aAbBcCzZ09_\xE4\xC4";
    for (Flags f : {Flags{true, true}, Flags{true, false}, Flags{false, false}}) {
        SCOPED_TRACE(testing::Message() << "ignoreCase " << f.ignoreCase << " storeUpper " << f.storeUpper);
        TAbcStringlist list;
        Configure(list, f);
        std::vector<std::string> keys;
        for (int i = 0; i < 400; ++i) {
            std::string key(1 + rng() % 5, ' ');
            for (char& ch : key)
                ch = alphabet[rng() % alphabet.size()];
            keys.push_back(key);
            list.AddSorted(key);
        }
        auto form = [&](const std::string& s) { return f.ignoreCase ? UpperCaseAscii(s) : s; };
        for (std::int32_t i = 1; i < list.Count(); ++i)
            ASSERT_LT(CompareBytes(form(list.Get(i - 1)), form(list.Get(i))), 0) << "at " << i;
        for (const std::string& key : keys) {
            const std::int32_t index = list.FindSorted(key);
            ASSERT_GE(index, 0) << key;
            EXPECT_EQ(form(list.Get(index)), form(key));
        }
    }
}

TEST(AbcStringlist, BaseListChecksIndices)
{
    TStringList list;
    list.Add("one");
    EXPECT_THROW(list.Get(1), EStringListError);
    EXPECT_THROW(list.Get(-1), EStringListError);
    EXPECT_THROW(list.Insert(2, "x"), EStringListError);
    list.Insert(1, "two");
    list.Insert(0, "zero");
    EXPECT_EQ(Entries(list), (std::vector<std::string>{"zero", "one", "two"}));
    list.Delete(1);
    EXPECT_EQ(Entries(list), (std::vector<std::string>{"zero", "two"}));
}

TEST(AbcStringlist, UpperCaseTouchesOnlyAsciiLetters)
{
    EXPECT_EQ(UpperCaseAscii("az AZ 09 {`} \xE4\xFF"), "AZ AZ 09 {`} \xE4\xFF");
}

} // namespace
