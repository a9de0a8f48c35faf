#include "cli/compact_command.h"

#include <chrono>

#include "cli/value_text.h"
#include "jet/check/check.h"
#include "jet/compact.h"

namespace cli {
namespace {

std::string counted(std::uint64_t n, const std::string& what) {
    return grouped(n) + " " + what + (n == 1 ? "" : "s");
}

std::vector<jet::check::Fault> faultsOf(const std::string& file, const std::string& password) {
    std::vector<jet::check::Fault> faults;
    for (auto& f : jet::check::checkDatabase(file, jet::OpenOptions{password})) {
        if (f.severity != jet::check::Severity::Warning) faults.push_back(std::move(f));
    }
    return faults;
}

}  // namespace

int runCompact(std::ostream& out, std::ostream& progress, bool progressIsTerminal,
               const std::string& file, const std::string& password) {
    // Checking a large file takes a while too: the terminal says what is going on.
    const auto stage = [&](const char* what) {
        if (progressIsTerminal) progress << "\r\033[K" << what << std::flush;
    };
    stage("Checking the database before compacting it...");
    const auto before = faultsOf(file, password);
    const auto db = jet::Database::open(file, jet::OpenOptions{password});
    if (!db->writable()) {
        throw jet::Error(jet::ErrorCode::ReadOnly,
                         "'" + file + "' is read-only; it was not compacted.");
    }
    auto lastShown = std::chrono::steady_clock::now();
    const auto report = jet::compact(*db, [&](const jet::CompactProgress& p) {
        if (!progressIsTerminal) return;
        const auto now = std::chrono::steady_clock::now();
        if (now - lastShown < std::chrono::milliseconds(200) && p.rowsDone != p.rowsTotal) return;
        lastShown = now;
        const std::uint64_t percent = p.rowsTotal == 0 ? 100 : p.rowsDone * 100 / p.rowsTotal;
        progress << "\r\033[KCompacting table '" << p.table << "': " << percent << "%"
                 << std::flush;
    });
    stage("Checking the database compacted...");
    const auto after = faultsOf(file, password);
    if (progressIsTerminal) progress << "\r\033[K" << std::flush;

    out << "Compacted '" << file << "'.\n";
    std::uint64_t freed = 0;
    for (const auto& t : report.tables) {
        out << "Table '" << t.name << "': " << counted(t.rows, "row") << ", "
            << counted(t.pagesBefore, "page") << " before, " << grouped(t.pagesAfter) << " after"
            << (t.renumbered ? "; fields numbered afresh" : "") << ".\n";
        if (t.pagesBefore > t.pagesAfter) freed += t.pagesBefore - t.pagesAfter;
    }
    for (const auto& why : report.leftAlone) out << "Left as it was: " << why << '\n';
    freed += report.pagesLeftBehind;
    out << "Pages freed: " << grouped(freed);
    if (report.pagesLeftBehind > 0) {
        out << " (" << grouped(report.pagesLeftBehind)
            << " of them left by tables dropped earlier)";
    }
    out << "; " << counted(report.pagesCut, "free page") << " cut off the end of the file.\n";
    out << "Size: " << grouped(report.bytesBefore) << " bytes before, "
        << grouped(report.bytesAfter) << " after.\n";
    const std::size_t repaired = before.size() > after.size() ? before.size() - after.size() : 0;
    out << "Faults: " << before.size() << " found before, " << repaired << " repaired, "
        << after.size() << " remaining.\n";
    for (const auto& f : after) {
        out << "Remaining, " << jet::check::faultKindName(f.kind) << ": " << f.description << '\n';
    }
    return after.empty() ? 0 : 1;
}

}  // namespace cli
