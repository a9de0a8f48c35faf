// What the wizard needs from outside itself and cannot have a test wait on: message boxes, the
// file-open dialog, the browser, the clock and the random numbers. The program installs the Qt
// implementation (app/qt_platform.h); tests install a double that answers at once.
#pragma once

#include <string>
#include <string_view>

namespace app {

enum class MessageButtons { Ok, YesNo };
enum class MessageIcon { None, Exclamation };
enum class MessageAnswer { Ok, Yes, No };

struct OpenFileRequest {
    std::string title;
    // In the common dialog's form: description|pattern|description|pattern|... with patterns
    // separated by ";" inside an entry.
    std::string filter;
    bool readOnlyChecked = false;
};

class Platform {
public:
    virtual ~Platform() = default;
    // Modal; the text arrives exactly as built, carriage returns and all. Enter gives
    // `defaultButton` (Yes or No for a question, Ok otherwise); Escape and closing the box answer
    // a question No.
    virtual MessageAnswer messageBox(std::string_view text, MessageButtons buttons,
                                     MessageIcon icon, std::string_view title,
                                     MessageAnswer defaultButton) = 0;
    // With the platform's own default button: Yes for a question. A question whose Yes loses
    // data names No instead.
    MessageAnswer messageBox(std::string_view text, MessageButtons buttons, MessageIcon icon,
                             std::string_view title) {
        return messageBox(
            text, buttons, icon, title,
            buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok);
    }
    // The full path the user chose, or "" when the dialog was cancelled.
    virtual std::string openFile(const OpenFileRequest& request) = 0;
    // Opens a web address with the desktop's default handler, without waiting for it.
    virtual void openAddress(std::string_view address) = 0;
    // Seconds since midnight, local time.
    virtual double timer() = 0;
    virtual void randomize(double seed) = 0;
    // A number in [0, 1).
    virtual double random() = 0;
};

}  // namespace app
