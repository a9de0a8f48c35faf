// A failure as the wizard sees it: a number and a description, like the platform's error object.
// The data-access component turns every engine error into one; the error trap shows its
// description.
#pragma once

#include <exception>
#include <string>

namespace app {

class Failure : public std::exception {
public:
    Failure(long number, std::string description)
        : number_(number), description_(std::move(description)) {}
    long number() const noexcept { return number_; }
    const std::string& description() const noexcept { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

private:
    long number_;
    std::string description_;
};

}  // namespace app
