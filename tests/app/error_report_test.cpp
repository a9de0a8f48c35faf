// The "Application Error" report and the trap's resume-next rules.
#include <gtest/gtest.h>

#include "core/error_trap.h"
#include "core/failure.h"
#include "support/fake_platform.h"

namespace {

[[noreturn]] void fail(const char* description) { throw app::Failure(6, description); }

TEST(ApplicationError, TextAndBoxAreExact) {
    testsupport::FakePlatform platform;
    app::reportApplicationError("Overflow", "Form1.PushButton3_Click", 100);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text,
              "Overflow\r\nin Brassloe2021/08/31.Form1.PushButton3_Click at line 100\r\r"
              "Please email screenshot of this message to support@veldmark.example");
    EXPECT_EQ(platform.messages[0].buttons, app::MessageButtons::Ok);
    EXPECT_EQ(platform.messages[0].icon, app::MessageIcon::Exclamation);
    EXPECT_EQ(platform.messages[0].title, "Application Error");
}

TEST(Trap, EveryFailingStatementIsReportedAndTheProcedureGoesOn) {
    testsupport::FakePlatform platform;
    app::Trap trap("Access.AddTablesToAccessListbox");

    trap(100, [] { fail("first"); });
    // A failing call leaves its target as it was.
    std::vector<std::string> names{"kept"};
    trap.assign(102, names, []() -> std::vector<std::string> { fail("cannot open"); });
    // A failing If condition enters the block.
    bool entered = false;
    if (trap.condition(104, []() -> bool { fail("no list"); })) entered = true;
    // A failing statement of a loop body does not end the loop.
    std::vector<int> added;
    for (int i = 1; i <= 3; ++i) {
        trap(112, [&] {
            if (i == 2) fail("bad entry");
            added.push_back(i);
        });
    }

    EXPECT_EQ(names, std::vector<std::string>{"kept"});
    EXPECT_TRUE(entered);
    EXPECT_EQ(added, (std::vector<int>{1, 3}));
    const std::pair<const char*, int> expected[] = {
        {"first", 100}, {"cannot open", 102}, {"no list", 104}, {"bad entry", 112}};
    ASSERT_EQ(platform.messages.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(
            platform.messages[i].text,
            app::applicationErrorText(expected[i].first, trap.location(), expected[i].second));
    }
}

}  // namespace
