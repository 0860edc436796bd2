#include "napp/LayoutBox.h"

#include <gtest/gtest.h>

using NApp::LayoutBox;
using NApp::LayoutItem;

namespace {

// Stands in for a window: a preferred size, and where it was last placed.
struct FakeItem : LayoutItem {
    FakeItem(int32_t w, int32_t h) : width(w), height(h) {}
    void preferredSize(int32_t& w, int32_t& h) override {
        ++asked;
        w = width;
        h = height;
    }
    void place(int32_t x, int32_t y, int32_t w, int32_t h) override {
        placed = {x, y, w, h};
        ++placements;
    }
    int32_t width, height;
    struct {
        int32_t x = -1, y = -1, w = -1, h = -1;
    } placed;
    int placements = 0;
    int asked = 0;
};

void expectPlaced(const FakeItem& item, int32_t x, int32_t y, int32_t w, int32_t h) {
    EXPECT_EQ(item.placed.x, x);
    EXPECT_EQ(item.placed.y, y);
    EXPECT_EQ(item.placed.w, w);
    EXPECT_EQ(item.placed.h, h);
}

} // namespace

TEST(LayoutBox, StartsEmptyAlignedTopLeft) {
    LayoutBox box;
    EXPECT_EQ(box.alignment, 7);
    EXPECT_EQ(box.direction, 0);
    EXPECT_EQ(box.childCount(), 0);
    box.measureBox();
    EXPECT_EQ(box.measuredWidth, 0);
    EXPECT_EQ(box.measuredHeight, 0);
}

TEST(LayoutBox, ColumnAndRowMeasureSumPlusGapsAndLargestAcross) {
    FakeItem a(40, 20), b(70, 30);
    LayoutBox column;
    column.setDirection(LayoutBox::Down);
    column.setSpacing(4);
    column.addWindow(&a);
    column.addWindow(&b);
    column.measureBox();
    EXPECT_EQ(column.measuredHeight, 54);
    EXPECT_EQ(column.measuredWidth, 70);

    LayoutBox row;
    row.setDirection(LayoutBox::Left);
    row.setSpacing(3);
    row.addWindow(&a);
    row.addWindow(&b);
    row.addWindow(&a);
    row.measureBox();
    EXPECT_EQ(row.measuredWidth, 40 + 70 + 40 + 2 * 3);
    EXPECT_EQ(row.measuredHeight, 30);

    // Children without a direction to stack in give no natural size.
    LayoutBox none;
    none.addWindow(&b);
    none.measureBox();
    EXPECT_EQ(none.measuredWidth, 0);
    EXPECT_EQ(none.measuredHeight, 0);
}

TEST(LayoutBox, FixedSizesReplaceTheMeasuredOnes) {
    FakeItem a(40, 20);
    LayoutBox column;
    column.setDirection(LayoutBox::Down);
    LayoutBox* fixedLeaf = column.addWindow(&a, 7, 100, 0);
    LayoutBox* percentLeaf = column.addWindow(&a, 7, 0, -50);
    column.measureBox();
    EXPECT_EQ(fixedLeaf->measuredWidth, 100);
    EXPECT_EQ(fixedLeaf->measuredHeight, 20);
    EXPECT_EQ(percentLeaf->measuredWidth, 40);
    EXPECT_EQ(percentLeaf->measuredHeight, -50); // resolved only when arranged
    EXPECT_EQ(column.measuredWidth, 100);

    column.setFixedSize(7, 9);
    column.measureBox();
    EXPECT_EQ(column.measuredWidth, 7);
    EXPECT_EQ(column.measuredHeight, 9);
    column.clearFixedSize();
    column.measureBox();
    EXPECT_EQ(column.measuredWidth, 100);
}

TEST(LayoutBox, SpacingIsCopiedWhenTheChildIsMade) {
    LayoutBox root;
    root.setSpacing(6);
    LayoutBox* first = root.addColumn();
    root.setSpacing(1);
    LayoutBox* second = root.addRow(5, 3, 4);
    EXPECT_EQ(first->spacing, 6);
    EXPECT_EQ(second->spacing, 1);
    EXPECT_EQ(second->parent, &root);
    EXPECT_EQ(second->direction, LayoutBox::Right);
    EXPECT_EQ(second->alignment, 5);
    EXPECT_EQ(second->fixedWidth, 3);
    EXPECT_EQ(second->fixedHeight, 4);
    EXPECT_EQ(root.addColumnUp()->direction, LayoutBox::Up);
    EXPECT_EQ(root.addRowLeft()->direction, LayoutBox::Left);
    root.clearChildren();
    EXPECT_EQ(root.childCount(), 0);
}

TEST(LayoutBox, AnchorFollowsTheKeypad) {
    int32_t x, y;
    const int32_t expected[10][2] = {{0, 0},    {0, 49},   {150, 49}, {299, 49}, {0, 25},
                                     {150, 25}, {299, 25}, {0, 0},    {150, 0},  {299, 0}};
    for (int alignment = 0; alignment <= 9; ++alignment) {
        LayoutBox::anchor(alignment, 300, 50, x, y);
        EXPECT_EQ(x, expected[alignment][0]) << alignment;
        EXPECT_EQ(y, expected[alignment][1]) << alignment;
    }
    LayoutBox::anchor(10, 300, 50, x, y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    LayoutBox::anchor(5, -5, -3, x, y); // halves truncate toward zero
    EXPECT_EQ(x, -2);
    EXPECT_EQ(y, -1);
}

TEST(LayoutBox, AlignmentPlacesTheBoxInsideItsRectangle) {
    FakeItem item(100, 20);
    LayoutBox leaf;
    leaf.window = &item;

    leaf.alignment = 5;
    leaf.measureBox();
    leaf.arrange(10, 20, 300, 100);
    expectPlaced(item, 110, 60, 100, 20);

    leaf.alignment = 3;
    leaf.arrange(10, 20, 300, 100);
    expectPlaced(item, 210, 100, 100, 20);

    leaf.alignment = 7;
    leaf.arrange(10, 20, 300, 100);
    expectPlaced(item, 10, 20, 100, 20);

    // An odd difference: anchor(301) = 150, anchor(100) = 50.
    leaf.alignment = 8;
    leaf.arrange(0, 0, 301, 100);
    expectPlaced(item, 100, 0, 100, 20);
}

TEST(LayoutBox, ABoxLargerThanItsRectangleIsCut) {
    FakeItem item(500, 80);
    LayoutBox leaf;
    leaf.window = &item;
    leaf.alignment = 7;
    leaf.measureBox();
    leaf.arrange(5, 5, 200, 50);
    expectPlaced(item, 5, 5, 200, 50);

    // Right-aligned, the box would start left of the rectangle: its left is raised.
    leaf.alignment = 3;
    leaf.arrange(5, 5, 200, 50);
    expectPlaced(item, 5, 5, 200, 50);
}

TEST(LayoutBox, RootWithFullPercentageFillsTheRectangle) {
    FakeItem item(10, 10);
    LayoutBox root;
    root.window = &item;
    root.setFixedSize(-100, -100);
    root.alignment = 5;
    root.measureBox();
    root.arrange(3, 4, 640, 480);
    expectPlaced(item, 3, 4, 640, 480);
}

TEST(LayoutBox, ColumnCutsSlicesTopDownWithPercentagesOfWhatIsLeft) {
    FakeItem top(50, 10), half(50, 999), rest(60, 20);
    LayoutBox root;
    root.setFixedSize(-100, -100);
    root.setDirection(LayoutBox::Down);
    root.setSpacing(4);
    root.addWindow(&top, 7);
    root.addWindow(&half, 7, -100, -50);
    root.addWindow(&rest, 7);
    root.measureBox();
    EXPECT_EQ(half.asked, 1); // its size is asked for even though both are fixed
    root.arrange(0, 0, 200, 315);
    expectPlaced(top, 0, 0, 50, 10);
    // 315 - 10 - 4 = 301 left: half of it truncated is 150.
    expectPlaced(half, 0, 14, 200, 150);
    expectPlaced(rest, 0, 14 + 150 + 4, 60, 20);
}

TEST(LayoutBox, UpAndLeftStackFromTheFarEdge) {
    FakeItem a(30, 10), b(20, 15);
    LayoutBox up;
    up.setFixedSize(-100, -100);
    up.setDirection(LayoutBox::Up);
    up.setSpacing(5);
    up.addWindow(&a, 1);
    up.addWindow(&b, 1);
    up.measureBox();
    up.arrange(0, 0, 100, 100);
    expectPlaced(a, 0, 90, 30, 10);
    expectPlaced(b, 0, 100 - 10 - 5 - 15, 20, 15);

    LayoutBox left;
    left.setFixedSize(-100, -100);
    left.setDirection(LayoutBox::Left);
    left.setSpacing(5);
    left.addWindow(&a, 9);
    left.addWindow(&b, 9);
    left.measureBox();
    left.arrange(10, 0, 100, 100);
    expectPlaced(a, 80, 0, 30, 10);
    expectPlaced(b, 10 + 100 - 30 - 5 - 20, 0, 20, 15);
}

TEST(LayoutBox, RowOfNestedBoxesPlacesEveryLeaf) {
    FakeItem label(40, 10), edit(0, 22), button(60, 24);
    LayoutBox root;
    root.setFixedSize(-100, -100);
    root.setDirection(LayoutBox::Down);
    root.setSpacing(2);
    LayoutBox* row = root.addRow(7, -100, 0);
    row->addWindow(&label, 4);
    row->addWindow(&edit, 4, -100, 0); // the edit takes the rest of the row
    row->addWindow(&button, 4);
    root.measureBox();
    EXPECT_EQ(row->measuredHeight, 24);
    root.arrange(0, 0, 300, 100);
    expectPlaced(label, 0, 7, 40, 10); // centred vertically in the 24-pixel row
    expectPlaced(edit, 42, 1, 258, 22);
    // Nothing left for the button: an empty slice clipped at the row's end.
    EXPECT_EQ(button.placements, 1);
    EXPECT_EQ(button.placed.w, 0);
}

TEST(LayoutBox, ChildrenThatNoLongerFitGetEmptySlices) {
    FakeItem a(10, 60), b(10, 60), c(10, 60);
    LayoutBox column;
    column.setFixedSize(-100, -100);
    column.setDirection(LayoutBox::Down);
    column.addWindow(&a);
    column.addWindow(&b);
    column.addWindow(&c);
    column.measureBox();
    column.arrange(0, 0, 50, 100);
    expectPlaced(a, 0, 0, 10, 60);
    expectPlaced(b, 0, 60, 10, 40); // cut at the bottom
    EXPECT_EQ(c.placements, 1);
    EXPECT_EQ(c.placed.h, 0);
    EXPECT_EQ(c.placed.w, 10);
}

TEST(LayoutBox, WithoutDirectionEveryChildSharesTheFirstSlice) {
    FakeItem a(10, 10), b(20, 20);
    LayoutBox box;
    box.setFixedSize(-100, -100);
    box.addWindow(&a);
    box.addWindow(&b);
    box.measureBox();
    box.arrange(5, 5, 100, 100);
    // The first slice is the empty rectangle at the origin, raised into the rectangle.
    expectPlaced(a, 5, 5, 0, 0);
    expectPlaced(b, 5, 5, 0, 0);
}
