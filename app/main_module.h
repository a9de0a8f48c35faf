// The Main module's window helpers: the look every wizard window shares (system colours, the
// optional skin, the hand cursor) and the start-up window's occasional visit to the home page
// and the application title. None has a trap of its own: failures go to the trapped caller.
#pragma once

#include <QCursor>
#include <string>
#include <string_view>

#include "core/list_box.h"

class QWidget;

namespace app {

inline constexpr const char* kProductTitle = "Quillfen";

// The window's background and its option buttons, check boxes, frames and labels take the
// desktop's button-face colour, and take it again whenever the desktop's colours change.
void UseSystemColors(QWidget& window);

// DataFolder() + "/x/o.cjs"; a Qt style sheet on this platform.
std::string SkinFile();

// When the skin file is there as a regular, visible file: system colours on Form1, then the
// style sheet. A file that cannot be read as text throws app::Failure naming it.
void ApplySkin(QWidget& form1);

// Seeds the generator from the clock and opens the home page on a draw of 7 out of 1 to 100.
void MaybeOpenHomePage();

// Whole words are cut from the end, at least one, until at most 40 characters remain; a title
// without a space is kept as it is.
std::string ApplicationTitleFor(std::string_view productTitle);

// The product title's application title, for message boxes and for the program's name.
void SetApplicationTitle();

// DataFolder() + "/HAND-M.CUR".
std::string HandCursorFile();

// A Windows cursor file as a pointer with its hot spot. Throws app::Failure naming the file
// when it cannot be read or holds no picture that can be shown.
QCursor LoadCursorFile(const std::string& path);

// Takes out of `target` every entry whose text (exactly, letter case included) also stands in
// `reference`. Pending window events run once per comparison; the reference is not changed and
// the remaining entries keep their order.
void RemoveDuplicateListboxItems(ListBoxControl& target, const ListBoxControl& reference);

}  // namespace app
