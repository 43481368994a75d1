#pragma once

#include <stdexcept>
#include <string>

namespace brevadin {

// A failure with a number and a source, as the message boxes show them
// ("fncGetRecordsetFromLog:" + number + description, ":[" + number + "]").
class AppError : public std::runtime_error {
public:
    AppError(int number, std::string source, const std::string& description)
        : std::runtime_error(description), number_(number), source_(std::move(source)) {}

    int number() const noexcept { return number_; }
    const std::string& source() const noexcept { return source_; }
    std::string description() const { return what(); }

private:
    int number_;
    std::string source_;
};

}  // namespace brevadin
