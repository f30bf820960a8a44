// Tests of the data records: defaults, history recording, upgrade, equality.
#include <gtest/gtest.h>

#include <list>
#include <string>

#include "data/Records.h"

namespace {

using Items = std::list<std::wstring>;

TEST(DataRecords, FreshAllDataHasTheDocumentedDefaults) {
    Lumo::Data::AllData data;
    EXPECT_EQ(data.dataVersion, 3);
    ASSERT_TRUE(data.favorites && data.settings && data.userSettings && data.navigateHistory);
    EXPECT_EQ(data.favorites->revision, 0);
    EXPECT_TRUE(data.favorites->folders.empty());
    EXPECT_EQ(data.settings->sortMode, Lumo::Data::NoSort);
    const Lumo::Data::UserSettings& user = *data.userSettings;
    EXPECT_EQ(user.revision, 0);
    EXPECT_TRUE(user.limitMenuWidth);
    EXPECT_EQ(user.menuWidthLimit, 300);
    EXPECT_TRUE(user.limitTopFavorites);
    EXPECT_EQ(user.topFavoriteLimit, 15);
    EXPECT_EQ(user.historyDepth, 10);
    EXPECT_TRUE(data.navigateHistory->items.empty());
    EXPECT_EQ(data.navigateHistory->maxCount, -1);
    // Each record owns its parts: two records never share one.
    Lumo::Data::AllData other;
    EXPECT_NE(data.favorites, other.favorites);
}

TEST(DataRecords, FolderListKeepsOrderThroughEditsAndSorts) {
    Lumo::Data::FolderList folders{L"B", L"", L"a", L"A"};
    folders.erase(1);  // from the middle: the rest keep their order and texts
    EXPECT_EQ(folders, (Lumo::Data::FolderList{L"B", L"a", L"A"}));
    EXPECT_EQ(std::wstring(folders.c_str(1)), L"a");  // each text ends in a zero
    folders.push_back(folders[0]);                    // a view of its own text
    const Lumo::Data::FolderList copy = folders;
    folders.sort();  // code-unit order, as the menu sorts by path name
    EXPECT_EQ(folders, (Lumo::Data::FolderList{L"A", L"B", L"B", L"a"}));
    EXPECT_EQ(copy, (Lumo::Data::FolderList{L"B", L"a", L"A", L"B"}));
    EXPECT_NE(folders, copy);
    folders.erase(3);
    folders.erase(0);
    EXPECT_EQ(folders, (Lumo::Data::FolderList{L"B", L"B"}));
    EXPECT_EQ(std::wstring(folders.c_str(1)), L"B");
}

TEST(DataRecords, HistoryMovesRepeatsToTheFrontAndTrimsToCapacity) {
    Lumo::Data::NavigateHistory history;
    history.maxCount = 3;
    history.items = {L"A", L"B", L"C"};
    EXPECT_TRUE(history.Add(L"C"));
    EXPECT_EQ(history.items, (Items{L"C", L"A", L"B"}));
    EXPECT_FALSE(history.Add(L"C"));
    EXPECT_EQ(history.items, (Items{L"C", L"A", L"B"}));
    EXPECT_TRUE(history.Add(L"D"));
    EXPECT_EQ(history.items, (Items{L"D", L"C", L"A"}));
}

TEST(DataRecords, HistoryEdgeCases) {
    Lumo::Data::NavigateHistory off;
    off.maxCount = 0;
    EXPECT_FALSE(off.Add(L"A"));
    EXPECT_TRUE(off.items.empty());

    Lumo::Data::NavigateHistory unlimited;  // maxCount -1
    for (int i = 0; i < 100; ++i) EXPECT_TRUE(unlimited.Add(std::to_wstring(i)));
    EXPECT_EQ(unlimited.items.size(), 100u);
    EXPECT_EQ(unlimited.items.front(), L"99");

    Lumo::Data::NavigateHistory first;  // the first entry of an empty list is a change
    first.maxCount = 5;
    EXPECT_TRUE(first.Add(L"A"));
    EXPECT_FALSE(first.Add(L"A"));

    // Letter case makes a different folder.
    EXPECT_TRUE(first.Add(L"a"));
    EXPECT_EQ(first.items, (Items{L"a", L"A"}));

    // A lowered capacity shortens the list at the next recording only, even
    // when that recording moves nothing.
    Lumo::Data::NavigateHistory lowered;
    lowered.items = {L"A", L"B", L"C", L"D"};
    lowered.maxCount = 2;
    EXPECT_EQ(lowered.items.size(), 4u);
    EXPECT_TRUE(lowered.Add(L"A"));
    EXPECT_EQ(lowered.items, (Items{L"A", L"B"}));

    lowered.Clear();
    EXPECT_TRUE(lowered.items.empty());
}

TEST(DataRecords, UpgradeRaisesOlderRecordsOnly) {
    Lumo::Data::AllData data;
    EXPECT_FALSE(data.Upgrade());
    data.dataVersion = 2;
    EXPECT_TRUE(data.Upgrade());
    EXPECT_EQ(data.dataVersion, 3);
    data.dataVersion = 0;
    EXPECT_TRUE(data.Upgrade());
    EXPECT_EQ(data.dataVersion, 3);
}

TEST(DataRecords, UserSettingsEqualityComparesAllSixMembers) {
    const Lumo::Data::UserSettings base;
    EXPECT_TRUE(base == Lumo::Data::UserSettings());
    auto differs = [&](auto change) {
        Lumo::Data::UserSettings copy = base;
        change(copy);
        return copy != base && !(copy == base);
    };
    EXPECT_TRUE(differs([](Lumo::Data::UserSettings& s) { s.revision = 1; }));
    EXPECT_TRUE(differs([](Lumo::Data::UserSettings& s) { s.limitMenuWidth = false; }));
    EXPECT_TRUE(differs([](Lumo::Data::UserSettings& s) { s.menuWidthLimit = 301; }));
    EXPECT_TRUE(differs([](Lumo::Data::UserSettings& s) { s.limitTopFavorites = false; }));
    EXPECT_TRUE(differs([](Lumo::Data::UserSettings& s) { s.topFavoriteLimit = 16; }));
    EXPECT_TRUE(differs([](Lumo::Data::UserSettings& s) { s.historyDepth = 0; }));
}

}  // namespace
