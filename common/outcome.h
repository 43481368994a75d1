#pragma once

#include <optional>
#include <string>
#include <utility>

namespace brevadin {

// A failure as the user is told of it: the number a message shows beside its
// source ("fncGetRecordsetFromLog:" + number + description), 0 where the
// failure has no number of its own (a file system error, whose description
// says what happened), and the description.
struct Failure {
    int number = 0;
    std::string description;
};

// How a core operation that can fail ended. The core never shows a window:
// the viewer turns a failure into a message box, the exporter prints it.
// Dropping one unread is a compile error under the project's warnings, so a
// failed save cannot pass for a successful one.
class [[nodiscard]] Outcome {
public:
    Outcome() = default;                                        // succeeded
    Outcome(Failure failure) : failure_(std::move(failure)) {}  // NOLINT: implicit on purpose
    static Outcome failed(std::string description, int number = 0) {
        return Outcome(Failure{number, std::move(description)});
    }

    bool ok() const { return !failure_; }
    explicit operator bool() const { return ok(); }
    // Empty and 0 when it succeeded.
    const std::string& description() const {
        static const std::string none;
        return failure_ ? failure_->description : none;
    }
    int number() const { return failure_ ? failure_->number : 0; }

private:
    std::optional<Failure> failure_;
};

// A value together with how getting it went. Reads that recover (a damaged
// file kept aside and replaced by a fresh one) give a usable value and still
// carry the failure the user is to be told of.
template <class T>
struct Result {
    T value{};
    Outcome outcome;
};

}  // namespace brevadin
