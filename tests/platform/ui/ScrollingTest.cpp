#include <string>
#include <vector>

#include "UiTestSupport.h"
#include "platform/ui/CollectionView.h"
#include "platform/ui/Label.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/Switch.h"
#include "platform/ui/TableView.h"

using namespace ui;
using uitest::UiTest;

using Scrolling = UiTest;

TEST_F(Scrolling, FramesInWindowFollowTheScrollOffset) {
    auto scroll = std::make_shared<ScrollView>(Rect{0, 100, 390, 400});
    window->addSubview(scroll);
    scroll->setContentSize({390, 2000});
    auto row = std::make_shared<View>(Rect{10, 600, 100, 40});
    scroll->addSubview(row);
    EXPECT_EQ(row->frameInWindow(), (Rect{10, 700, 100, 40}));
    scroll->setContentOffset({0, 500});
    EXPECT_EQ(row->frameInWindow(), (Rect{10, 200, 100, 40}));
    EXPECT_EQ(scroll->convertToWindow(Rect{0, 500, 1, 1}), (Rect{0, 100, 1, 1}));
}

TEST_F(Scrolling, PagesAreClampedToTheContentAndTheEndsAreKnown) {
    auto scroll = std::make_shared<ScrollView>(Rect{0, 0, 390, 400});
    window->addSubview(scroll);
    scroll->setContentSize({390, 1000});
    std::vector<double> offsets;
    scroll->addScrollObserver([&](ScrollView& s) { offsets.push_back(s.contentOffset().y); });
    EXPECT_TRUE(scroll->isAtEnd(ScrollDirection::up));
    EXPECT_FALSE(scroll->scrollPage(ScrollDirection::up));
    EXPECT_TRUE(scroll->scrollPage(ScrollDirection::down));
    EXPECT_TRUE(scroll->scrollPage(ScrollDirection::down));
    EXPECT_TRUE(scroll->isAtEnd(ScrollDirection::down));
    EXPECT_FALSE(scroll->scrollPage(ScrollDirection::down));
    EXPECT_FALSE(scroll->scrollPage(ScrollDirection::right));  // nothing sideways
    EXPECT_EQ(offsets, (std::vector<double>{400, 600}));

    auto shortContent = std::make_shared<ScrollView>(Rect{0, 0, 390, 400});
    window->addSubview(shortContent);
    shortContent->setContentSize({390, 300});
    EXPECT_FALSE(shortContent->canScrollVertically());
    EXPECT_FALSE(shortContent->scrollPage(ScrollDirection::down));
}

TEST_F(Scrolling, PagingMovesAWholePageSideways) {
    auto pager = std::make_shared<ScrollView>(Rect{0, 0, 300, 150});
    window->addSubview(pager);
    pager->setPagingEnabled(true);
    pager->setContentSize({900, 150});
    pager->setContentOffset({20, 0});  // a little dragged
    EXPECT_EQ(pager->numberOfPages(), 3);
    EXPECT_TRUE(pager->scrollPage(ScrollDirection::right));
    EXPECT_EQ(pager->contentOffset().x, 300);
    EXPECT_EQ(pager->currentPage(), 1);
    EXPECT_TRUE(pager->scrollPage(ScrollDirection::right));
    EXPECT_FALSE(pager->scrollPage(ScrollDirection::right));
    EXPECT_EQ(pager->currentPage(), 2);
}

TEST_F(Scrolling, ScrollingARectIntoViewMovesTheLeastDistance) {
    auto scroll = std::make_shared<ScrollView>(Rect{0, 0, 390, 400});
    window->addSubview(scroll);
    scroll->setContentSize({390, 2000});
    EXPECT_FALSE(scroll->scrollRectToVisible({0, 100, 10, 44}));
    EXPECT_TRUE(scroll->scrollRectToVisible({0, 900, 10, 44}));
    EXPECT_EQ(scroll->contentOffset().y, 544);
    EXPECT_TRUE(scroll->scrollRectToVisible({0, 10, 10, 44}));
    EXPECT_EQ(scroll->contentOffset().y, 10);
    EXPECT_TRUE(scroll->scrollRectToVisible({0, 1990, 10, 44}));
    EXPECT_EQ(scroll->contentOffset().y, 1600);  // clamped at the bottom
}

TEST_F(Scrolling, TableRowsAreSelectedAndSwipedThroughTheSource) {
    auto table = std::make_shared<TableView>(Rect{0, 0, 390, 300});
    window->addSubview(table);
    std::vector<std::string> names{"Tuli", "Mika", "Kenji", "Family"};
    std::vector<std::string> log;
    TableView::Source source;
    source.sections = [] { return 2; };
    source.rows = [&](int s) { return s == 0 ? static_cast<int>(names.size()) : 1; };
    source.header = [](int s) { return s == 0 ? std::string("Chats") : std::string(); };
    source.cell = [&](IndexPath p) {
        auto cell = std::make_shared<TableViewCell>(p.section == 0 ? names[p.row] : "Wi-Fi");
        if (p.section == 1) {
            cell->setSelectable(false);
            cell->setAccessoryView(std::make_shared<Switch>(true, Rect{0, 0, 51, 31}));
        }
        return cell;
    };
    source.didSelect = [&](IndexPath p) { log.push_back("open " + names[p.row]); };
    source.trailingSwipeActions = [&](IndexPath p) {
        return std::vector<ContextualAction>{
            {ContextualAction::Style::destructive, "Delete", [&, p] {
                 log.push_back("delete " + names[p.row]);
                 return true;
             }}};
    };
    table->setSource(source);

    EXPECT_EQ(table->numberOfRows(0), 4);
    EXPECT_EQ(table->rectForRow({0, 1}), (Rect{0, 36 + 44, 390, 44}));
    EXPECT_EQ(table->contentSize().height, 36 + 5 * 44);
    EXPECT_TRUE(table->cellForRow({0, 0})->tap());
    EXPECT_FALSE(table->cellForRow({1, 0})->tap());
    EXPECT_EQ(table->cellForRow({1, 0})->accessoryView()->superview(), table->cellForRow({1, 0}));
    EXPECT_TRUE(table->swipeRow({0, 2}, false));
    EXPECT_FALSE(table->swipeRow({0, 2}, true));  // no leading actions
    EXPECT_FALSE(table->selectRow({0, 9}));
    EXPECT_EQ(table->selectedRow(), (IndexPath{0, 0}));
    EXPECT_EQ(log, (std::vector<std::string>{"open Tuli", "delete Kenji"}));
}

TEST_F(Scrolling, ChecklistRowsReadAsCheckedOrNot) {
    auto table = std::make_shared<TableView>(Rect{0, 0, 390, 300});
    window->addSubview(table);
    int checked = 1;
    TableView::Source source;
    source.rows = [](int) { return 3; };
    source.cell = [&](IndexPath p) {
        auto cell = std::make_shared<TableViewCell>("Option " + std::to_string(p.row));
        cell->setCheckable(true);
        cell->setAccessoryType(p.row == checked ? AccessoryType::checkmark : AccessoryType::none);
        return cell;
    };
    source.didSelect = [&](IndexPath p) {
        checked = p.row;
        table->reloadData();
    };
    table->setSource(source);
    EXPECT_EQ(table->cellForRow({0, 1})->accessibilityValue(), "1");
    EXPECT_TRUE(table->cellForRow({0, 2})->tap());
    EXPECT_EQ(table->cellForRow({0, 1})->accessibilityValue(), "0");
    EXPECT_EQ(table->cellForRow({0, 2})->accessibilityValue(), "1");
}

TEST_F(Scrolling, CollectionLaysItemsOutInAsManyColumnsAsFit) {
    auto grid = std::make_shared<CollectionView>(Rect{0, 0, 390, 300});
    window->addSubview(grid);
    grid->setItemSize({120, 120});
    grid->setSpacing(5);
    int picked = -1;
    CollectionView::Source source;
    source.items = [] { return 7; };
    source.cell = [](int i) {
        auto cell = std::make_shared<CollectionViewCell>();
        cell->addSubview(std::make_shared<Label>("Photo " + std::to_string(i + 1)));
        cell->addSubview(std::make_shared<Label>("Today"));
        return cell;
    };
    source.didSelect = [&](int i) { picked = i; };
    grid->setSource(source);
    EXPECT_EQ(grid->cellForItem(3)->frame(), (Rect{5, 130, 120, 120}));  // 3 columns
    EXPECT_EQ(grid->contentSize().height, 5 + 3 * 125);
    EXPECT_EQ(grid->cellForItem(4)->accessibilityLabel(), "Photo 5, Today");
    EXPECT_TRUE(grid->cellForItem(4)->tap());
    EXPECT_EQ(picked, 4);
    EXPECT_FALSE(grid->selectItem(7));
}
