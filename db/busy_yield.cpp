#include "db/busy_yield.h"

#include <utility>

#include "jet/database.h"

namespace db {
namespace {

std::function<void()>& installedYield() {
    static std::function<void()> yield;
    return yield;
}

}  // namespace

void setBusyYield(std::function<void()> yield) { installedYield() = std::move(yield); }

void yieldWhileBusy() {
    if (installedYield()) installedYield()();
}

BusyYielding::BusyYielding(jet::Database& database, std::chrono::milliseconds interval)
    : database_(database) {
    if (!installedYield()) return;
    using Clock = std::chrono::steady_clock;
    database_.setProgressHandler([interval, next = Clock::now() + interval]() mutable {
        const auto now = Clock::now();
        if (now < next) return;
        yieldWhileBusy();
        // Counted from the end of the yield: painting takes its time too.
        next = Clock::now() + interval;
    });
}

BusyYielding::~BusyYielding() { database_.setProgressHandler({}); }

}  // namespace db
