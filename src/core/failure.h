// Failure: the one exception that ends an experiment which cannot go on, carrying the exact
// message text, the standard stream it is written to, and the plain one-line account of it that
// follows on standard error as "valdrin: error: ...".
#pragma once

#include <exception>
#include <iosfwd>
#include <string>

namespace Valdrin {

enum class MessageStream { Output, Error };

class Failure final : public std::exception {
public:
    // plain: the one-line account; empty to derive it from the message.
    Failure(MessageStream stream, std::string message, std::string plain = {});
    MessageStream stream() const { return stream_; }
    // The text exactly as it is written, line breaks included (may be empty).
    const std::string& message() const { return message_; }
    // The plain account, without the "valdrin: error: " prefix and without a line break.
    const std::string& plain() const { return plain_; }
    const char* what() const noexcept override { return plain_.c_str(); }

private:
    MessageStream stream_;
    std::string message_;
    std::string plain_;
};

// Ends the experiment with a message for standard error.
[[noreturn]] void fail(std::string message);

// Ends the experiment with a message for standard output.
[[noreturn]] void failOnOutput(std::string message);

// Ends the experiment with only the plain account (no message in the older style).
[[noreturn]] void failPlainly(std::string plain);

// The plain account of a message: its first line that says what went wrong (not the header
// naming the operation), without the indentation.
std::string plainAccount(const std::string& message);

// Writes the failure's message to its stream (out or err), then "valdrin: error: " and the plain
// account on err, and flushes both.
void writeFailure(const Failure& failure, std::ostream& out, std::ostream& err);

}  // namespace Valdrin
