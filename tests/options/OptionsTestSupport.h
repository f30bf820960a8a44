// What the Options dialog tests share: a private data folder with an
// impatient DataCenter, the dialog on its own thread, and access to its
// pages and tabs as a user sees them.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "data/DataCenter.h"
#include "support/DialogDriver.h"
#include "support/TestSupport.h"

namespace OptionsTest {

class OptionsFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    DataCenter& Center() { return *center_; }
    void StoreFavorites(const std::vector<std::wstring>& folders);
    std::vector<std::wstring> StoredFavorites();
    std::string DataFileBytes();

    QuelvarTest::TempFolder temp;
    int helpOpened = 0;

private:
    std::unique_ptr<DataCenter> center_;
    DataCenter* original_ = nullptr;
};

// The dialog, opened on `page` with the stored data (or none).
class OpenOptions {
public:
    OpenOptions(bool withData, int page, int* helpOpened = nullptr);
    ~OpenOptions();

    QuelvarTest::DialogThread thread;
    QuelvarTest::DialogDriver dialog;

    std::vector<std::wstring> Tabs() const;
    int SelectedTab() const;
    // The page window of tab `index`, and a driver for its controls.
    HWND PageWindow(int index) const;
    QuelvarTest::DialogDriver Page(int index) const { return QuelvarTest::DialogDriver(PageWindow(index)); }
    // The index of the one visible page; -1 when none or several.
    int VisiblePage() const;
    // Clicks tab `index` with the mouse.
    void ClickTab(int index) const;
    // The last message box the dialog showed ("" when none).
    std::wstring LastMessage() const;
    size_t MessageCount() const { return thread.MessageBoxes().size(); }
};

// Selects exactly the list entries `indexes` as a user's clicks would.
void SelectEntries(const QuelvarTest::DialogDriver& page, int listId, const std::vector<int>& indexes);
std::vector<std::wstring> ListEntries(const QuelvarTest::DialogDriver& page, int listId);

}  // namespace OptionsTest
