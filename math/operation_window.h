// What the three operation windows have in common: the furniture (the "Options" frame with the
// operation list, the grid, the "< Back" and "Apply" pair and the progress bar), the pointer
// feedback, the statements of their loads and of the refresh after Apply, "< Back" (back to the
// math option step, through Forms) and closing. Each window adds its own input and its own
// Apply.
#pragma once

#include <QComboBox>
#include <memory>
#include <string>

#include "app/controls/data_grid.h"
#include "app/controls/events.h"
#include "app/controls/frame.h"
#include "app/controls/progress_bar.h"
#include "app/controls/push_button.h"
#include "app/wizard_window.h"
#include "core/error_trap.h"
#include "db/connection.h"
#include "db/recordset.h"

namespace app {

struct OperationLayout {
    int width, height;  // client area, twips
    int frameWidth, frameHeight;
    int gridTop;  // the grid, buttons and progress bar stand below the frame
    int buttonsTop;
    int progressTop;
};

class OperationWindow : public WizardWindow {
    Q_OBJECT
public:
    void PushButton2_Click();              // "< Back"
    virtual void PushButton4_Click() = 0;  // "Apply"
    void Form_Unload() override;

    Frame* Frame1;
    QComboBox* Combo1;
    DataGrid* DataGrid1;
    PushButton* PushButton2;
    PushButton* PushButton4;
    ProgressBar* ProgressBar1;

protected:
    OperationWindow(const char* name, const OperationLayout& layout);

    // The window's own input (a text box or a list) in the frame, right of the operation list.
    void placeInput(QWidget* input);

    // The four operations added from label `first`, then the first selected.
    void fillOperations(Trap& trap, int first);
    // Mode, open, unbind, client cursors, the preview query and the binding: labels 128 to 138.
    void showPreview(Trap& trap, const std::shared_ptr<db::Connection>& cn,
                     const std::shared_ptr<db::Recordset>& rs);
    // After Apply: client cursors, the refresh query and the binding, from label `first`.
    void showRefreshed(Trap& trap, int first, const std::shared_ptr<db::Connection>& cn,
                       const std::shared_ptr<db::Recordset>& rs);

    // A plain message box: OK, no icon, the application title.
    static void showMessage(const std::string& text);

    const std::string& name() const { return name_; }

private:
    std::string name_;
};

// The pair of objects every handler creates first, at labels 100 and 102.
struct DatabaseObjects {
    std::shared_ptr<db::Connection> cn;
    std::shared_ptr<db::Recordset> rs;
};
DatabaseObjects createDatabaseObjects(Trap& trap);

// For the life of the object "Apply" is disabled and every click or key aimed at it is dropped:
// those made while a message box of the handler is open, while the loop yields or while the
// engine works, and those still queued when the handler ends. One Apply never runs twice.
using ApplyRunning = IgnoredWhileRunning;

}  // namespace app
