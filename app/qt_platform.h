// The platform seam on Qt: modal message boxes and file dialogs, the desktop's browser, the clock
// and a seeded random generator.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <random>

#include "core/platform.h"

namespace app {

class QtPlatform final : public Platform {
public:
    using Platform::messageBox;
    MessageAnswer messageBox(std::string_view text, MessageButtons buttons, MessageIcon icon,
                             std::string_view title, MessageAnswer defaultButton) override;
    std::string openFile(const OpenFileRequest& request) override;
    void openAddress(std::string_view address) override;
    double timer() override;
    void randomize(double seed) override;
    double random() override;

private:
    std::mt19937_64 generator_;
};

// What a message box shows for a text built with the old line ends: CR LF and a bare CR are each
// one line break.
QString messageBoxText(std::string_view text);

// The common dialog's filter "description|patterns|description|patterns|" as Qt's name filters
// "description (patterns)", in order; ";" between patterns becomes a space.
QStringList qtNameFilters(std::string_view filter);

}  // namespace app
