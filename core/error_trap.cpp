#include "core/error_trap.h"

#include <exception>
#include <new>

#include "core/addresses.h"
#include "core/failure.h"
#include "core/globals.h"

namespace app {

std::string applicationErrorText(const std::string& description, const std::string& location,
                                 int label) {
    return description + "\r\n" + "in Brassloe2021/08/31." + location + " " + "at line " +
           std::to_string(label) + "\r\r" + "Please email screenshot of this message to " +
           kSupportEmail;
}

void reportApplicationError(const std::string& description, const std::string& location,
                            int label) {
    Globals::platform().messageBox(applicationErrorText(description, location, label),
                                   MessageButtons::Ok, MessageIcon::Exclamation,
                                   "Application Error");
}

std::string currentFailureDescription() {
    try {
        throw;
    } catch (const Failure& f) {
        return f.description();
    } catch (const std::bad_alloc&) {
        return "Out of memory";
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unexpected failure";
    }
}

bool Trap::operator()(int label, const std::function<void()>& statement) {
    label_ = label;
    try {
        statement();
        return true;
    } catch (...) {
        report();
        return false;
    }
}

bool Trap::condition(int label, const std::function<bool()>& test) {
    label_ = label;
    try {
        return test();
    } catch (...) {
        report();
        return true;
    }
}

void Trap::report() {
    ++failures_;
    reportApplicationError(currentFailureDescription(), location_, label_);
}

}  // namespace app
