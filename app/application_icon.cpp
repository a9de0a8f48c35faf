#include "app/application_icon.h"

// The resources live in a static library; nothing would pull them into the program without this.
static void initApplicationResources() { Q_INIT_RESOURCE(quillfen); }

namespace app {

QIcon applicationIcon() {
    [[maybe_unused]] static const bool registered = (initApplicationResources(), true);
    QIcon icon;
    for (const int size : {16, 32, 48, 128, 256}) {
        icon.addFile(QStringLiteral(":/icons/quillfen-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

}  // namespace app
