// The members the wizard's procedures use on its list and text boxes, and handlers that fail.
#include <gtest/gtest.h>

#include <QFocusEvent>
#include <QSignalSpy>
#include <QTest>
#include <stdexcept>

#include "app/controls/list_box.h"
#include "app/controls/text_box.h"
#include "app/controls/untrapped.h"
#include "core/failure.h"
#include "support/fake_platform.h"

namespace {

TEST(ListBox, MembersKeepOrderAndSelection) {
    app::ListBox box;
    app::ListBoxControl& list = box;
    for (const char* name : {"Qty", "Id", "Price"}) list.AddItem(name);
    EXPECT_EQ(list.ListCount(), 3);
    EXPECT_EQ(list.List(0), "Qty");  // insertion order, not sorted
    EXPECT_EQ(list.List(7), "");
    EXPECT_EQ(list.ListIndex(), -1);

    list.SetListIndex(1);
    EXPECT_EQ(list.ListIndex(), 1);
    list.RemoveItem(1);  // the selected entry: nothing is selected afterwards
    EXPECT_EQ(list.ListIndex(), -1);
    EXPECT_EQ(list.List(1), "Price");
    EXPECT_THROW(list.RemoveItem(2), app::Failure);
    EXPECT_THROW(list.SetListIndex(2), app::Failure);

    list.SetListIndex(0);
    list.SetListIndex(-1);
    EXPECT_EQ(list.ListIndex(), -1);
    list.SetListIndex(1);
    list.Clear();
    EXPECT_EQ(list.ListCount(), 0);
    EXPECT_EQ(list.ListIndex(), -1);
}

TEST(TextBox, ChangeFiresForCodeAndTyping) {
    app::TextBox box;
    QSignalSpy changes(&box, &app::TextBox::Change);
    box.SetText("Zo\xc3\xab");
    EXPECT_EQ(box.Text(), "Zo\xc3\xab");
    EXPECT_EQ(changes.count(), 1);
    QTest::keyClicks(&box, "xyz");
    EXPECT_EQ(changes.count(), 4);  // one per keystroke
    EXPECT_EQ(box.Text(), "Zo\xc3\xabxyz");
}

TEST(TextBox, SelectionMembers) {
    app::TextBox box;
    box.SetText("C:\\Data\\Shop.mdb");
    box.SetSelStart(0);
    box.SetSelLength(static_cast<int>(box.text().size()));
    EXPECT_EQ(box.selectedText(), box.text());
    box.SetSelStart(3);
    box.SetSelLength(100);  // clipped at the end
    EXPECT_EQ(box.selectedText(), "Data\\Shop.mdb");
    EXPECT_THROW(box.SetSelLength(-1), app::Failure);

    QSignalSpy focus(&box, &app::TextBox::GotFocus);
    QFocusEvent tab(QEvent::FocusIn, Qt::TabFocusReason);
    QCoreApplication::sendEvent(&box, &tab);
    EXPECT_EQ(focus.count(), 1);
}

TEST(Untrapped, AFailingHandlerIsShownAndTheProgramGoesOn) {
    testsupport::FakePlatform platform;
    app::Globals::setApplicationTitle("Quillfen");
    app::untrapped([] { throw std::runtime_error("Overflow"); });

    // A change handler that fails while code sets the text: the text is set all the same.
    app::TextBox box;
    QObject::connect(&box, &app::TextBox::Change,
                     [] { throw app::Failure(75, "Path/File access error"); });
    EXPECT_NO_THROW(box.SetText("x"));
    EXPECT_EQ(box.Text(), "x");

    ASSERT_EQ(platform.messages.size(), 2u);
    EXPECT_EQ(platform.messages[0].text, "Overflow");
    EXPECT_EQ(platform.messages[1].text, "Path/File access error");
    EXPECT_EQ(platform.messages[1].buttons, app::MessageButtons::Ok);
    EXPECT_EQ(platform.messages[1].icon, app::MessageIcon::None);
    EXPECT_EQ(platform.messages[1].title, "Quillfen");
}

}  // namespace
