// The window tests' entry: one application for the whole run, the program's own, offscreen
// unless the caller chose a platform.
#include <gtest/gtest.h>

#include "app/wizard_application.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    app::WizardApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
