// What the Options dialog tests share: a private data folder with an
// impatient Lumo::Data::DataCenter, and the dialog on its own thread with its tabs and
// pages as a user sees them.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "data/DataCenter.h"
#include "options/OptionDlg.h"
#include "support/DialogDriver.h"
#include "support/TestSupport.h"

namespace OptionsTest {

class OptionsFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    Lumo::Data::DataCenter& Center() { return *center_; }
    void StoreFavorites(const std::vector<std::wstring>& folders);
    std::vector<std::wstring> StoredFavorites() {
        const auto data = Center().Load();
        return {data->favorites->folders.begin(), data->favorites->folders.end()};
    }
    std::string DataFileBytes() { return QuelvarTest::ReadFileBytes(Center().GetDataFilePath()); }

    QuelvarTest::TempFolder temp;
    int helpOpened = 0;

private:
    std::unique_ptr<Lumo::Data::DataCenter> center_;
    Lumo::Data::DataCenter* original_ = nullptr;
};

// The dialog, opened on `page` with the stored data (or none, for the reason
// `what` names); cancelled when the object goes.
struct OpenOptions {
    OpenOptions(Lumo::Options::OptionData what, int page, int* helpOpened = nullptr);
    OpenOptions(bool withData, int page, int* helpOpened = nullptr)
        : OpenOptions(withData ? Lumo::Options::OptionData::Loaded : Lumo::Options::OptionData::NewerRelease,
                      page, helpOpened) {}
    ~OpenOptions();

    std::vector<std::wstring> Tabs() const;
    int SelectedTab() const;
    HWND PageWindow(int index) const;
    QuelvarTest::DialogDriver Page(int index) const { return QuelvarTest::DialogDriver(PageWindow(index)); }
    // The one visible page; -1 when none or several.
    int VisiblePage() const;
    void ClickTab(int index) const;
    // "caption|text" of the last message box; "" when none.
    std::wstring LastMessage() const;
    size_t MessageCount() const { return thread.MessageBoxes().size(); }

    QuelvarTest::DialogThread thread;
    QuelvarTest::DialogDriver dialog;
};

// Selects exactly the entries `indexes` of a list box as clicks would.
void SelectEntries(const QuelvarTest::DialogDriver& page, int listId, const std::vector<int>& indexes);
std::vector<std::wstring> ListEntries(const QuelvarTest::DialogDriver& page, int listId);

}  // namespace OptionsTest
