// The platform double of the window and data-access tests: it records every message box and
// address, answers from a queue, and is installed for the life of the object.
#pragma once

#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "core/globals.h"
#include "core/platform.h"

namespace testsupport {

struct ShownMessage {
    std::string text;
    app::MessageButtons buttons;
    app::MessageIcon icon;
    std::string title;
    app::MessageAnswer defaultButton;
};

class FakePlatform final : public app::Platform {
public:
    FakePlatform() { app::Globals::setPlatform(this); }
    ~FakePlatform() override { app::Globals::setPlatform(nullptr); }
    FakePlatform(const FakePlatform&) = delete;
    FakePlatform& operator=(const FakePlatform&) = delete;

    using app::Platform::messageBox;
    app::MessageAnswer messageBox(std::string_view text, app::MessageButtons buttons,
                                  app::MessageIcon icon, std::string_view title,
                                  app::MessageAnswer defaultButton) override {
        messages.push_back({std::string(text), buttons, icon, std::string(title), defaultButton});
        if (!answers.empty()) {
            const auto answer = answers.front();
            answers.pop_front();
            return answer;
        }
        return buttons == app::MessageButtons::YesNo ? app::MessageAnswer::No
                                                     : app::MessageAnswer::Ok;
    }
    std::string openFile(const app::OpenFileRequest& request) override {
        fileRequests.push_back(request);
        return chosenFile;
    }
    void openAddress(std::string_view address) override { addresses.emplace_back(address); }
    double timer() override { return clock; }
    void randomize(double seed) override { seeds.push_back(seed); }
    double random() override {
        if (draws.empty()) return 0.5;
        const double d = draws.front();
        draws.pop_front();
        return d;
    }

    // What happened.
    std::vector<ShownMessage> messages;
    std::vector<app::OpenFileRequest> fileRequests;
    std::vector<std::string> addresses;
    std::vector<double> seeds;
    // What to answer.
    std::deque<app::MessageAnswer> answers;
    std::string chosenFile;
    double clock = 36000.0;
    std::deque<double> draws;
};

}  // namespace testsupport
