// The "Favorites" page of the Options dialog: the favorite folders in menu
// order, to remove and reorder in a working copy that is written only when
// the user saves.
#pragma once

#include <memory>
#include <string>

#include "data/Records.h"
#include "ui/Dialog.h"

namespace Lumo::Options {

enum class SaveOutcome;

// A list box whose horizontal scroll extent follows its widest string.
class FolderListBox : public WinUi::Control {
public:
    FolderListBox(HWND parent, int id, int width, int height);
    // The current horizontal extent in pixels.
    int Extent() const;

protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    int MeasureItem(int index) const;
    int Measure(const std::wstring& text) const;
    void SetExtent(int width);
};

class FavoritePage : public WinUi::PageBase {
public:
    enum : int {
        kList = 1000,
        kRemove = 1001,
        kSeparator = 1002,
        kMoveUp = 1003,
        kMoveDown = 1004,
        kSave = 1005,
    };

    explicit FavoritePage(const Lumo::Data::AllData& data);
    ~FavoritePage() override;

    // Before another page is shown or the dialog closes with OK; false keeps
    // the user on this page.
    bool CanLeavePage();
    bool Modified() const;

protected:
    void CreateControls() override;
    void DefineLayout() override;
    bool OnCommand(int id, int code, HWND control) override;

private:
    void Fill();
    void UpdateButtons();
    void Sync();
    void Remove();
    void Move(bool up);
    SaveOutcome Save();
    std::wstring ItemText(int index) const;
    int Count() const;

    std::unique_ptr<FolderListBox> list_;
    std::shared_ptr<Lumo::Data::Favorites> saved_;
    std::shared_ptr<Lumo::Data::Favorites> edited_;
};

}  // namespace Lumo::Options
