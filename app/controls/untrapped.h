// Event handlers without an error trap of their own (text-box changes, double-clicks, mouse
// moves, a window's unload). In Qt an exception leaving a slot ends the program, so such a
// handler runs through `untrapped`: a failure is shown in a plain message box and the program
// goes on.
#pragma once

#include <functional>
#include <string>

namespace app {

// Runs the handler; an exception escaping it is shown with its description and swallowed.
void untrapped(const std::function<void()>& handler) noexcept;

// A plain message box: the text, an OK button, no icon and the application title. Never
// throws: when the platform cannot show it, the text goes to the log instead.
void showPlainMessage(const std::string& text) noexcept;

}  // namespace app
