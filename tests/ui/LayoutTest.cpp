// The layout arithmetic on plain numbers: how rows and columns share their
// length, their minimum and maximum sizes, and where fixed controls sit.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "ui/LayoutManager.h"

using namespace Lumo::WinUi;
using Pane = LayoutManager::Pane;
using PaneItem = LayoutManager::PaneItem;

namespace {

struct Child {
    unsigned mode;
    int size;     // along the row (for percentage children: the percentage)
    int minimum;  // along the row
};

struct RowCase {
    const char* name;
    int length;
    std::vector<Child> children;
    std::vector<std::pair<int, int>> expected;  // left, right of each cell
};

void PrintTo(const RowCase& c, std::ostream* os) { *os << c.name; }

std::shared_ptr<PaneItem> Item(const Child& c) {
    return std::make_shared<PaneItem>(c.mode, c.size, 16, c.minimum, 16);
}

class RowShares : public ::testing::TestWithParam<RowCase> {};

TEST_P(RowShares, CellsAlongTheRow) {
    const RowCase& c = GetParam();
    Pane row(Horizontal, Stretch, 5);
    std::vector<std::shared_ptr<PaneItem>> items;
    for (const Child& child : c.children) {
        items.push_back(Item(child));
        row.Append(items.back());
    }
    row.MoveTo(RECT{0, 0, c.length, 20});
    ASSERT_EQ(items.size(), c.expected.size());
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i]->Cell().left, c.expected[i].first) << c.name << " child " << i;
        EXPECT_EQ(items[i]->Cell().right, c.expected[i].second) << c.name << " child " << i;
        EXPECT_EQ(items[i]->Cell().bottom, 20) << c.name << " takes the whole height";
    }
}

const unsigned kStretchy = FixedHeight;  // a label: stretches along a row

INSTANTIATE_TEST_SUITE_P(
    Layout, RowShares,
    ::testing::Values(RowCase{"two stretching children in 105",
                              105,
                              {{kStretchy, 10, 10}, {kStretchy, 10, 10}},
                              {{0, 50}, {55, 105}}},
                      RowCase{"a child below its minimum keeps it, the others shrink",
                              100,
                              {{kStretchy, 50, 50}, {kStretchy, 10, 10}, {kStretchy, 10, 10}},
                              {{0, 50}, {55, 75}, {80, 100}}},
                      RowCase{"fixed child first, stretching takes the rest",
                              100,
                              {{FixedSize, 30, 30}, {kStretchy, 10, 10}},
                              {{0, 30}, {35, 100}}},
                      RowCase{
                          "percentage of what the fixed children leave",
                          240,
                          {{FixedSize, 30, 30}, {PercentWidth | FixedHeight, 50, 10}, {kStretchy, 10, 10}},
                          {{0, 30}, {35, 135}, {140, 240}}},
                      RowCase{"left-over length goes to fixed children that fill",
                              100,
                              {{FixedSize | FillWidth, 20, 20}, {FixedSize, 20, 20}},
                              {{0, 75}, {80, 100}}},
                      RowCase{"too little room: every child keeps its minimum",
                              40,
                              {{kStretchy, 30, 30}, {kStretchy, 30, 30}},
                              {{0, 30}, {35, 65}}}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST(Layout, BoundedStretchingPaneGivesItsSurplusToItsNeighbour) {
    Pane row(Horizontal, Stretch, 5);
    auto column = std::make_shared<Pane>(Vertical, Stretch, 5);
    column->Append(std::make_shared<PaneItem>(FixedSize, 40, 16, 40, 16));  // max width 40
    auto label = std::make_shared<PaneItem>(FixedHeight, 10, 16, 10, 16);
    row.Append(column);
    row.Append(label);
    row.MoveTo(RECT{0, 0, 205, 16});
    EXPECT_EQ(column->Cell().right - column->Cell().left, 40);
    EXPECT_EQ(label->Cell().left, 45);
    EXPECT_EQ(label->Cell().right, 205);
}

TEST(Layout, FixedControlSitsInItsCellByItsAlignmentBits) {
    const RECT cell{10, 100, 110, 130};
    const SIZE control{20, 10};
    struct {
        unsigned mode;
        RECT expected;
    } cases[] = {
        {FixedSize, {10, 100, 30, 110}},
        {FixedSize | AlignRight, {90, 100, 110, 110}},
        {FixedSize | AlignCentreHorizontal, {50, 100, 70, 110}},
        {FixedSize | AlignBottom, {10, 120, 30, 130}},
        {FixedSize | AlignCentreVertical | AlignCentreHorizontal, {50, 110, 70, 120}},
        {FixedHeight, {10, 100, 110, 110}},            // takes the width
        {FixedSize | FillWidth, {10, 100, 110, 110}},  // a filling width is the cell's
        {Stretch, cell},
    };
    for (const auto& c : cases) {
        const RECT r = PaneItem::Place(c.mode, cell, control);
        EXPECT_TRUE(::EqualRect(&r, &c.expected))
            << "mode " << c.mode << ": " << r.left << "," << r.top << "," << r.right << "," << r.bottom;
    }
}

TEST(Layout, RowAndColumnMinimaAndMaxima) {
    auto fixed = [](int w, int h) { return std::make_shared<PaneItem>(FixedSize, w, h, w, h); };
    auto label = [](int minW, int h) { return std::make_shared<PaneItem>(FixedHeight, minW, h, minW, h); };

    Pane row(Horizontal, Stretch, 5, 2);
    row.Append(label(10, 16));
    row.Append(label(3, 16));  // counted as 5
    row.Append(fixed(20, 23));
    EXPECT_EQ(row.MinWidth(), 10 + 5 + 20 + 2 * 5 + 2 * 2);
    EXPECT_EQ(row.MaxWidth(), -1) << "a stretching child makes the row unbounded";
    EXPECT_EQ(row.MinHeight(), 23 + 2 * 2);
    EXPECT_EQ(row.MaxHeight(), 23 + 2 * 2);

    Pane buttons(Horizontal, Stretch, 5);
    buttons.Append(fixed(20, 23));
    buttons.Append(fixed(30, 23));
    EXPECT_EQ(buttons.MaxWidth(), 55);

    Pane column(Vertical, Stretch, 5);
    column.Append(fixed(100, 23));
    column.Append(fixed(75, 23));
    EXPECT_EQ(column.MinWidth(), 100);
    EXPECT_EQ(column.MinHeight(), 23 + 5 + 23);
    EXPECT_EQ(column.MaxWidth(), 100);
    column.Append(label(10, 16));
    EXPECT_EQ(column.MaxWidth(), -1);
}

TEST(Layout, PaneOfTheSameOrientationIsWrapped) {
    Pane row(Horizontal, Stretch, 5);
    auto inner = std::make_shared<Pane>(Horizontal, Stretch, 5);
    row.Append(inner);
    ASSERT_EQ(row.Children().size(), 1u);
    auto wrapper = std::dynamic_pointer_cast<Pane>(row.Children()[0]);
    ASSERT_TRUE(wrapper);
    EXPECT_EQ(wrapper->GetOrientation(), Vertical);
    ASSERT_EQ(wrapper->Children().size(), 1u);
    EXPECT_EQ(wrapper->Children()[0], inner);
}

TEST(Layout, FixedWidthColumnInARowIsAsWideAsItsWidestButton) {
    auto buttons = std::make_shared<Pane>(Vertical, FixedWidth, 5, 2);
    buttons->Append(std::make_shared<PaneItem>(FixedSize, 100, 23, 100, 23));
    buttons->Append(std::make_shared<PaneItem>(FixedSize, 75, 23, 75, 23));
    auto box = std::make_shared<PaneItem>(Stretch, 10, 10, 10, 10);
    Pane row(Horizontal, Stretch, 5);
    row.Append(box);
    row.Append(buttons);
    EXPECT_EQ(buttons->SecondarySize(), 104);
    row.MoveTo(RECT{0, 0, 300, 100});
    EXPECT_EQ(buttons->Cell().left, 196);
    EXPECT_EQ(buttons->Cell().right, 300);
    EXPECT_EQ(box->Cell().right, 191);
}

TEST(Layout, EmptyRectangleChangesNothing) {
    LayoutManager manager;
    auto root = std::make_shared<Pane>(Vertical, Stretch, 5);
    auto item = std::make_shared<PaneItem>(FixedHeight, 10, 16, 10, 16);
    root->Append(item);
    manager.SetRootPane(root);
    manager.PlaceRoot(RECT{0, 0, 200, 100});
    const RECT before = item->Cell();
    manager.PlaceRoot(RECT{0, 0, 0, 0});
    manager.PlaceRoot(RECT{50, 50, 50, 80});
    EXPECT_TRUE(::EqualRect(&before, &item->Cell()));
    EXPECT_EQ(before.right, 200);
}

}  // namespace
