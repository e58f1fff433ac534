// Throwing and writing failures.
#include "core/failure.h"

#include <cstdio>
#include <ostream>
#include <sstream>

namespace Valdrin {

namespace {

bool isHeader(const std::string& line) {
    return line.ends_with("error:") || line.ends_with("error: ") || line.ends_with("warning:");
}

}  // namespace

Failure::Failure(MessageStream stream, std::string message, std::string plain)
    : stream_(stream), message_(std::move(message)), plain_(std::move(plain)) {
    if (plain_.empty()) plain_ = plainAccount(message_);
}

void fail(std::string message) { throw Failure(MessageStream::Error, std::move(message)); }

void failOnOutput(std::string message) { throw Failure(MessageStream::Output, std::move(message)); }

void failPlainly(std::string plain) { throw Failure(MessageStream::Error, {}, std::move(plain)); }

std::string plainAccount(const std::string& message) {
    std::istringstream lines(message);
    std::string line;
    std::string fallback;
    while (std::getline(lines, line)) {
        const std::size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos) continue;
        line = line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
        if (isHeader(line)) {
            if (fallback.empty()) fallback = line;
            continue;
        }
        return line;
    }
    return fallback.empty() ? "the experiment could not go on" : fallback;
}

void writeFailure(const Failure& failure, std::ostream& out, std::ostream& err) {
    (failure.stream() == MessageStream::Output ? out : err) << failure.message();
    out.flush();
    err << "valdrin: error: " << failure.plain() << "\n";
    err.flush();
}

}  // namespace Valdrin
