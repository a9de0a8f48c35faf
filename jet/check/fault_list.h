// Where the checks put what they find. A badly damaged file can break one rule thousands of
// times; after a few reports of the same rule in the same place the rest are only counted, so
// that the output stays readable.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "jet/check/check.h"

namespace jet::check {

class FaultList {
public:
    static constexpr std::size_t kReportsPerTopic = 20;

    // `topic` groups reports of one rule in one place (e.g. "index 'PK' of table 'Orders': rows
    // without entries"); only the first kReportsPerTopic of a topic are kept.
    void add(FaultKind kind, const std::string& topic, std::string description) {
        keep(Fault{kind, std::move(description), Severity::Fault}, topic);
    }
    void add(FaultKind kind, std::string description) {
        keep(Fault{kind, std::move(description), Severity::Fault}, {});
    }
    void warn(FaultKind kind, const std::string& topic, std::string description) {
        keep(Fault{kind, std::move(description), Severity::Warning}, topic);
    }

    // How many faults (not warnings) have been found so far, kept or only counted: a check
    // compares it before and after a step to learn whether the step found any.
    std::size_t reported() const { return reported_; }

    // Everything found, with one line per topic that had more than it could report.
    std::vector<Fault> take() {
        for (const auto& [topic, seen] : counts_) {
            if (seen.count > kReportsPerTopic) {
                faults_.push_back(Fault{seen.kind,
                                        topic + ": " +
                                            std::to_string(seen.count - kReportsPerTopic) +
                                            " more of this kind",
                                        seen.severity});
            }
        }
        counts_.clear();
        return std::move(faults_);
    }

private:
    void keep(Fault f, const std::string& topic) {
        if (f.severity == Severity::Fault) ++reported_;
        if (topic.empty()) {
            faults_.push_back(std::move(f));
            return;
        }
        auto& seen = counts_[topic];
        seen.kind = f.kind;
        seen.severity = f.severity;
        if (++seen.count <= kReportsPerTopic) faults_.push_back(std::move(f));
    }

    struct Seen {
        std::size_t count = 0;
        FaultKind kind = FaultKind::Unreadable;
        Severity severity = Severity::Fault;
    };
    std::vector<Fault> faults_;
    std::map<std::string, Seen> counts_;
    std::size_t reported_ = 0;
};

}  // namespace jet::check
