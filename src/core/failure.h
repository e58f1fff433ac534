// Failure: the one exception that ends an experiment which cannot go on, carrying the exact
// message text and the standard stream it is written to; and OutputFile, the program's output
// files, each flushed and closed by its owner.
#pragma once

#include <exception>
#include <fstream>
#include <string>

namespace Valdrin {

enum class MessageStream { Output, Error };

class Failure final : public std::exception {
public:
    Failure(MessageStream stream, std::string message) : stream_(stream), message_(std::move(message)) {}
    MessageStream stream() const { return stream_; }
    // The text exactly as it is written, line breaks included.
    const std::string& message() const { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    MessageStream stream_;
    std::string message_;
};

// Ends the experiment with a message for standard error.
[[noreturn]] void fail(std::string message);

// Ends the experiment with a message for standard output.
[[noreturn]] void failOnOutput(std::string message);

// Writes the failure's message to its stream and flushes both standard streams.
void writeFailure(const Failure& failure);

// An output file of the program, opened for writing from its start (truncated).
class OutputFile : public std::ofstream {
public:
    OutputFile() = default;
    explicit OutputFile(const std::string& path) : std::ofstream(path, std::ios::out | std::ios::trunc) {}
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
};

}  // namespace Valdrin
