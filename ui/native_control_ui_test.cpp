// Native controls on a real window: texts and their shared buffers, list and
// drop-down operations, notifications, the check box that does not toggle
// itself, enabling, and destruction in either order.
#include "ui/native_control.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QTest>

#include "ui/ui_test_support.h"

namespace veltro {
namespace {

class ControlWindow : public Window {
public:
    ControlWindow() : Window(nullptr, 0, 0, 300, 200, WindowFrame::FrameTool) {}
    void onCommand(int id) override { commands.push_back(id); }
    std::vector<int> commands;
};

class NativeControlTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::app(); }
    void SetUp() override { window.show(true); }
    void TearDown() override { testing::settle(); }
    ControlWindow window;
};

TEST_F(NativeControlTest, ControlsArePlacedAsChildrenOfTheWindow) {
    auto* edit = window.addWidget(std::make_unique<EditField>(&window, 10, 20, 120, 24, 1));
    QWidget* control = edit->nativeHandle();
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->parentWidget(), window.platformWindow());
    EXPECT_EQ(control->geometry(), QRect(10, 20, 120, 24));
    edit->setRect(5, 6, 70, 22);
    EXPECT_EQ(control->geometry(), QRect(5, 6, 70, 22));
    edit->setPosition(8, 9);
    EXPECT_EQ(control->pos(), QPoint(8, 9));
    edit->setVisible(false);
    EXPECT_FALSE(control->isVisible());
    EXPECT_FALSE(edit->isVisible());
}

TEST_F(NativeControlTest, TwoControlsKeepTheirOwnTexts) {
    auto* a = window.addWidget(std::make_unique<EditField>(&window, 0, 0, 80, 20, 1));
    auto* b = window.addWidget(std::make_unique<PushButton>(&window, 0, 30, 80, 20, 2, "Caption"));
    a->setText("first");
    std::string first = a->text();
    std::string second = b->text();
    EXPECT_EQ(first, "first");
    EXPECT_EQ(second, "Caption");
    EXPECT_NE(a->text(), b->text()) << "each control answers with its own text";
    b->setText("New caption");
    EXPECT_EQ(b->text(), "New caption");
    EXPECT_EQ(a->text(), "first") << "setting one control's text leaves the other alone";
    EXPECT_EQ(first, "first") << "a text once returned is the caller's own";
}

TEST_F(NativeControlTest, ListBoxOperations) {
    auto* list = window.addWidget(std::make_unique<ListBox>(&window, 0, 0, 100, 100, 3));
    EXPECT_EQ(list->selectedIndex(), -1);
    EXPECT_EQ(list->addItem("one"), 0);
    EXPECT_EQ(list->addItem("three"), 1);
    list->insertItem(1, "two");
    list->insertItem(99, "four");
    EXPECT_EQ(list->itemCount(), 4);
    EXPECT_EQ(list->itemText(1), "two");
    EXPECT_EQ(list->itemText(3), "four");
    EXPECT_EQ(list->selectedIndex(), -1) << "nothing selected yet";
    list->select(2);
    EXPECT_EQ(list->selectedIndex(), 2);
    list->deleteItem(0);
    EXPECT_EQ(list->itemText(0), "two");
    EXPECT_EQ(list->itemText(9), "");
    list->select(-1);
    EXPECT_EQ(list->selectedIndex(), -1);
    EXPECT_TRUE(window.commands.empty()) << "the program's own changes do not notify";

    // A user's click selects and notifies.
    auto* qt = static_cast<QListWidget*>(list->nativeHandle());
    QRect row = qt->visualItemRect(qt->item(1));
    QTest::mouseClick(qt->viewport(), Qt::LeftButton, {}, row.center());
    EXPECT_EQ(list->selectedIndex(), 1);
    EXPECT_EQ(window.commands, std::vector<int>{3});
}

TEST_F(NativeControlTest, ComboListOperations) {
    auto* combo = window.addWidget(std::make_unique<ComboList>(&window, 0, 0, 100, 24, 4));
    combo->addItem("low");
    combo->addItem("high");
    EXPECT_EQ(combo->itemCount(), 2);
    combo->select(1);
    EXPECT_EQ(combo->selectedIndex(), 1);
    EXPECT_EQ(combo->itemText(0), "low");
    EXPECT_TRUE(window.commands.empty());
    auto* qt = static_cast<QComboBox*>(combo->nativeHandle());
    qt->setFocus();
    QTest::keyClick(qt, Qt::Key_Up);
    EXPECT_EQ(combo->selectedIndex(), 0);
    EXPECT_EQ(window.commands, std::vector<int>{4});
}

TEST_F(NativeControlTest, CheckButtonReportsClicksWithoutTogglingItself) {
    auto* check = window.addWidget(std::make_unique<CheckButton>(&window, 0, 0, 120, 24, 5, "Loop"));
    auto* qt = static_cast<QCheckBox*>(check->nativeHandle());
    QTest::mouseClick(qt, Qt::LeftButton, {}, QPoint(8, qt->height() / 2));
    EXPECT_EQ(window.commands, std::vector<int>{5});
    EXPECT_FALSE(check->isChecked());
    check->setChecked(true);
    EXPECT_TRUE(check->isChecked());
}

TEST_F(NativeControlTest, EditingNotifiesWith1024AndFocusChangesAreDropped) {
    auto* edit = window.addWidget(std::make_unique<EditField>(&window, 0, 0, 100, 24, 6));
    auto* button = window.addWidget(std::make_unique<PushButton>(&window, 0, 40, 100, 24, 7, "Go"));
    window.setFocusWidget(edit);
    QTest::keyClicks(edit->nativeHandle(), "ab");
    window.setFocusWidget(button);
    EXPECT_EQ(window.commands, (std::vector<int>{6, 6}));
    EXPECT_EQ(edit->text(), "ab");
}

TEST_F(NativeControlTest, DisablingGreysTheControlAndHidesItFromHitTests) {
    auto* button = window.addWidget(std::make_unique<PushButton>(&window, 10, 10, 80, 30, 8, "Off"));
    EXPECT_EQ(window.widgetAt(20, 20), button);
    button->setEnabled(false);
    EXPECT_FALSE(button->nativeHandle()->isEnabled());
    EXPECT_EQ(window.widgetAt(20, 20), nullptr);
    QTest::mouseClick(button->nativeHandle(), Qt::LeftButton);
    EXPECT_TRUE(window.commands.empty());
}

TEST_F(NativeControlTest, WindowFirstThenWidgetDestroysTheControlOnce) {
    auto owner = std::make_unique<ControlWindow>();
    auto* edit = owner->addWidget(std::make_unique<EditField>(owner.get(), 0, 0, 80, 20, 1));
    QPointer<QWidget> control = edit->nativeHandle();
    owner->destroy();
    EXPECT_EQ(edit->nativeHandle(), nullptr) << "the window forgot the handle";
    EXPECT_TRUE(control.isNull()) << "the platform destroyed the control with its window";
    edit->setText("ignored");
    EXPECT_EQ(edit->text(), "");
    owner->removeWidget(edit);
    EXPECT_TRUE(owner->widgets().empty());

    // Widget first: the control goes with it and the window lives on.
    auto* button = window.addWidget(std::make_unique<PushButton>(&window, 0, 0, 10, 10, 2, "x"));
    QPointer<QWidget> buttonControl = button->nativeHandle();
    window.removeWidget(button);
    EXPECT_TRUE(buttonControl.isNull());
    EXPECT_TRUE(window.exists());
}

}  // namespace
}  // namespace veltro
