// The error trap every procedure that answers the user carries. Each statement runs through the
// trap with its label; when one fails, the trap shows the "Application Error" message naming the
// procedure and the label, and the procedure goes on with the next statement:
//
//     Trap trap("Form1.PushButton3_Click");
//     trap.assign(100, tables, [&] { return GetTableNames(path); });   // fails: tables unchanged
//     if (trap.condition(102, [&] { return !tables; })) { ... }      // fails: block entered
//     trap(106, [&] { AddTablesToAccessListbox(...); });
//
// A failing loop statement is one failing statement: the loop goes on.
#pragma once

#include <functional>
#include <string>

namespace app {

// The message text, exactly: description, CR LF, "in Brassloe2021/08/31.<location> at line
// <label>", CR CR, and the request to mail a screenshot.
std::string applicationErrorText(const std::string& description, const std::string& location,
                                 int label);

// Shows the "Application Error" box (exclamation icon, OK) through the platform seam.
void reportApplicationError(const std::string& description, const std::string& location, int label);

// The description of the exception being handled; call inside a catch block.
std::string currentFailureDescription();

class Trap {
public:
    explicit Trap(std::string location) : location_(std::move(location)) {}

    // Runs one statement; false when it failed (and was reported).
    bool operator()(int label, const std::function<void()>& statement);

    // The condition of an If: a failing test counts as true, so the block is entered.
    bool condition(int label, const std::function<bool()>& test);

    // An assignment of a call's result: when the call fails the target keeps its value.
    template <class T, class Call>
    bool assign(int label, T& target, Call&& call) {
        return (*this)(label, [&] { target = call(); });
    }

    const std::string& location() const { return location_; }
    int currentLabel() const { return label_; }
    int failures() const { return failures_; }

private:
    void report();

    std::string location_;
    int label_ = 0;
    int failures_ = 0;
};

}  // namespace app
