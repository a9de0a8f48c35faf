#include "core/globals.h"

#include <stdexcept>

namespace app::Globals {
namespace {

struct Shared {
    WizardState wizard;
    Platform* platform = nullptr;
    std::string applicationTitle;
    std::string applicationFolder;
};

Shared& shared() {
    static Shared instance;
    return instance;
}

}  // namespace

WizardState& wizard() { return shared().wizard; }

Platform& platform() {
    if (shared().platform == nullptr) throw std::logic_error("no platform installed");
    return *shared().platform;
}
void setPlatform(Platform* platform) { shared().platform = platform; }

const std::string& applicationTitle() { return shared().applicationTitle; }
void setApplicationTitle(std::string title) { shared().applicationTitle = std::move(title); }

const std::string& applicationFolder() { return shared().applicationFolder; }
void setApplicationFolder(std::string folder) { shared().applicationFolder = std::move(folder); }

}  // namespace app::Globals
