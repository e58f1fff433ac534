// Throwing and writing failures.
#include "core/failure.h"

#include <cstdio>
#include <iostream>

namespace Valdrin {

void fail(std::string message) { throw Failure(MessageStream::Error, std::move(message)); }

void failOnOutput(std::string message) { throw Failure(MessageStream::Output, std::move(message)); }

void writeFailure(const Failure& failure) {
    std::ostream& out = failure.stream() == MessageStream::Output ? std::cout : std::cerr;
    out << failure.message();
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
}

}  // namespace Valdrin
