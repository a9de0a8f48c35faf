#include "db/odbc_provider.h"

#include <optional>

#include "core/addresses.h"
#include "core/failure.h"
#include "core/globals.h"
#include "db/ascii.h"
#include "db/failures.h"
#include "db/objects.h"

namespace db {
namespace {

bool isProviderNotFound(const app::Failure& failure) {
    return failure.number() == kProviderNotFound ||
           lowerAscii(failure.description()).find("provider cannot be found") != std::string::npos;
}

// Seven paragraphs, CR LF CR LF between them.
std::string providerAdviceText() {
    const std::string paragraphs[] = {
        "Error #3706: Provider cannot be found. It may not be properly installed.",
        "You are getting this error because:",
        "1. Microsoft Access is not installed on your computer.",
        "2. A set of Microsoft components to transfer data is not installed on your computer.",
        std::string("You need to download and install Microsoft Access Database Engine 2010 or "
                    "2016 to solve this problem."),
        "Would you like me to open the Microsoft site now so you can do this?",
        std::string("(If you have any further questions please email a screenshot of this error "
                    "message to ") +
            app::kSupportEmail + ")",
    };
    std::string text;
    for (const auto& paragraph : paragraphs) {
        if (!text.empty()) text += "\r\n\r\n";
        text += paragraph;
    }
    return text;
}

}  // namespace

bool ProviderAvailable() {
    // Failures are ignored while it runs, each statement on its own: a browser that cannot be
    // started for the first page does not keep the second from opening.
    const auto ignoringFailures = [](const auto& statement) {
        try {
            statement();
        } catch (...) {
        }
    };
    bool result = false;
    std::optional<app::Failure> failure;
    try {
        const Object connection = CreateObject("ADODB.Connection");
        result = true;
    } catch (const app::Failure& f) {
        failure = f;
    } catch (...) {
        // Not the platform's kind of failure: false, without a word.
    }
    if (!failure || !isProviderNotFound(*failure)) return result;
    auto answer = app::MessageAnswer::No;
    ignoringFailures([&] {
        answer = app::Globals::platform().messageBox(
            providerAdviceText(), app::MessageButtons::YesNo, app::MessageIcon::None,
            app::Globals::applicationTitle());
    });
    if (answer == app::MessageAnswer::Yes) {
        ignoringFailures([] { app::Globals::platform().openAddress(app::kEngine2010Download); });
        ignoringFailures([] { app::Globals::platform().openAddress(app::kEngine2016Download); });
    }
    return false;
}

}  // namespace db
