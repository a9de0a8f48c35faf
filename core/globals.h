// The shared state of the wizard: what the steps hand on to each other, and the few things the
// whole program shares (the platform seam, the application title and folder). The only mutable
// state outside the windows.
#pragma once

#include <functional>
#include <string>

#include "core/platform.h"

namespace app {

struct WizardState {
    // The texts of Form1's two boxes, read at each use: they have no other storage.
    std::function<std::string()> databasePathSource;
    std::function<std::string()> databasePasswordSource;
    std::string DatabasePath() const { return databasePathSource ? databasePathSource() : ""; }
    std::string DatabasePassword() const {
        return databasePasswordSource ? databasePasswordSource() : "";
    }

    std::string SelectedTable;       // written by the table step
    std::string SelectedFieldsList;  // written by the field step: "[Price], [Qty]"
};

namespace Globals {

WizardState& wizard();

// The installed platform; throws when none is.
Platform& platform();
void setPlatform(Platform* platform);

// The title message boxes without one of their own show.
const std::string& applicationTitle();
void setApplicationTitle(std::string title);

// The folder that holds the program file. The program's data files are looked for from it
// (app/data_folders.h): beside it in a build tree, in ../share/quillfen once installed.
const std::string& applicationFolder();
void setApplicationFolder(std::string folder);

}  // namespace Globals

}  // namespace app
