#include "cli/check_command.h"

#include "jet/check/check.h"

namespace cli {

int runCheck(std::ostream& out, const std::string& file, const std::string& password) {
    std::size_t faults = 0;
    for (const auto& f : jet::check::checkDatabase(file, jet::OpenOptions{password})) {
        const bool warning = f.severity == jet::check::Severity::Warning;
        faults += warning ? 0 : 1;
        out << (warning ? "warning, " : "") << jet::check::faultKindName(f.kind) << ": "
            << f.description << '\n';
    }
    if (faults == 0) {
        out << "No faults found.\n";
        return 0;
    }
    out << faults << (faults == 1 ? " fault" : " faults") << " found.\n";
    return 1;
}

}  // namespace cli
