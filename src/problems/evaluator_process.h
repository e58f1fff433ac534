// EvaluatorProcess: a program that evaluates individuals for this one, run as `/bin/sh -c
// COMMAND` and spoken to in lines over a socket (its standard input and output; its standard
// error is this process's own). exchangeAll talks to several of them at once.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace Valdrin {

class EvaluatorProcess {
public:
    EvaluatorProcess() = default;
    // Ends the process (see stop).
    ~EvaluatorProcess();
    EvaluatorProcess(const EvaluatorProcess&) = delete;
    EvaluatorProcess& operator=(const EvaluatorProcess&) = delete;

    // Starts `/bin/sh -c command` in the folder, with this process's environment plus the
    // "NAME=value" entries given (which replace those of the same name), in a process group of
    // its own (a terminal's Ctrl-C reaches this process alone, which ends at a generation's end).
    // Returns an empty text, or why it could not start.
    std::string start(const std::string& command, const std::string& folder, const std::vector<std::string>& environment);
    bool started() const { return pid_ > 0; }

    // Closes its input (the signal to end), waits up to `grace` for it to end, then sends
    // SIGTERM, then SIGKILL, and reaps it. Nothing when it was not started.
    void stop(std::chrono::milliseconds grace = std::chrono::milliseconds(2000));

    // The exchange at hand: the bytes to send (the caller fills request) and one answer per
    // line expected; exchangeAll fills answers.
    std::string request;
    std::vector<double> answers;
    std::size_t expected = 0;

private:
    friend void exchangeAll(std::span<EvaluatorProcess* const> processes, double timeoutSeconds);

    // Reads what the socket holds, taking every whole line as the next answer; false at the end
    // of its output.
    bool receive(std::size_t index);
    // Sends what the socket takes of the rest of the request; false when the evaluator no longer
    // reads (it closed its input or ended).
    bool send();
    // How the process ended, waiting up to `patience` for it: "exited with status 3", "was ended
    // by signal 9 (Killed)", or "is still running" (its pid reaped by stop later).
    std::string howItEnded(std::chrono::milliseconds patience);

    pid_t pid_ = -1;
    int socket_ = -1;
    int status_ = 0;  // as waitpid gives it, once reaped
    bool reaped_ = false;
    // The exchange's progress: bytes of request sent, the start of its partial answer line.
    std::size_t sent_ = 0;
    bool sending_ = false;
    std::string incoming_;
    std::chrono::steady_clock::time_point lastAnswer_;
};

// Why an exchange failed: the position of the process in the span, the answer (counting from 0
// in its request) that did not come or could not be read, and what happened.
struct ExchangeFailure {
    std::size_t process = 0;
    std::size_t answer = 0;
    std::string reason;
};

// Sends every started process its request and reads its `expected` answers, all at once (a
// large request cannot block while an answer waits to be read). Each answer line holds one number
// (blanks around it allowed); NaN is refused. Throws ExchangeFailure when a process ends or
// closes its output before it has answered, answers what is not a number, or sends no answer
// line for timeoutSeconds; the failed process has then been stopped.
void exchangeAll(std::span<EvaluatorProcess* const> processes, double timeoutSeconds);

}  // namespace Valdrin
