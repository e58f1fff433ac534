// The evaluator's process: starting it, the line exchange over its socket, and its end.
#include "problems/evaluator_process.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <sstream>
#include <thread>

extern char** environ;

namespace Valdrin {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// An answer line longer than this holds no number: the exchange fails instead of storing it.
constexpr std::size_t kLongestAnswer = 1024;

// The name of a "NAME=value" entry, with its "=".
std::string_view nameOf(std::string_view entry) {
    const std::size_t equals = entry.find('=');
    return equals == std::string_view::npos ? entry : entry.substr(0, equals + 1);
}

std::string describeStatus(int status) {
    if (WIFEXITED(status)) return "exited with status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        const char* name = strsignal(signal);
        return "was ended by signal " + std::to_string(signal) + (name != nullptr ? " (" + std::string(name) + ")" : "");
    }
    return "ended";
}

// The answer as a message quotes it: at most 40 characters, control characters as '?'.
std::string quotedAnswer(std::string_view text) {
    constexpr std::size_t kShown = 40;
    std::string shown(text.substr(0, kShown));
    for (char& c : shown) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    }
    return "\"" + shown + (text.size() > kShown ? "...\"" : "\"");
}

std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

// The number an answer line holds, or why it holds none.
bool readAnswer(std::string_view line, double& value, std::string& why) {
    std::string_view text = trimmed(line);
    // A plus sign is what some languages print before a positive number.
    std::string_view digits = text.starts_with('+') && text.size() > 1 && text[1] != '-' ? text.substr(1) : text;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || error == std::errc::invalid_argument || end != digits.data() + digits.size()) {
        why = "answered " + quotedAnswer(line) + ", which is not a number";
        return false;
    }
    if (error == std::errc::result_out_of_range) {
        // Too large in magnitude for a double: it stands for an infinite cost; too small: zero.
        value = std::strtod(std::string(digits).c_str(), nullptr);
    }
    if (std::isnan(value)) {
        why = "answered " + quotedAnswer(line) + ": a fitness cannot be NaN";
        return false;
    }
    return true;
}

// "1 individual", "2 individuals".
std::string counted(std::size_t count, const std::string& noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

// A wait of at most the given length, without busy-waiting.
void sleepFor(milliseconds& slept, milliseconds step) {
    std::this_thread::sleep_for(step);
    slept += step;
}

}  // namespace

EvaluatorProcess::~EvaluatorProcess() { stop(); }

std::string EvaluatorProcess::start(const std::string& command, const std::string& folder,
                                    const std::vector<std::string>& environment) {
    stop();
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        return std::string("could not be started: no socket for it (") + std::strerror(errno) + ")";
    }
    std::vector<std::string> entries;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string_view name = nameOf(*entry);
        const bool replaced = std::any_of(environment.begin(), environment.end(),
                                          [name](const std::string& given) { return nameOf(given) == name; });
        if (!replaced) entries.emplace_back(*entry);
    }
    entries.insert(entries.end(), environment.begin(), environment.end());
    std::vector<char*> envp;
    for (std::string& entry : entries) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string shell = "/bin/sh";
    std::string dashC = "-c";
    std::string line = command;
    char* argv[] = {shell.data(), dashC.data(), line.data(), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    // Its input and output are its end of the socket; its standard error is ours. Nothing else
    // this process holds open (logs, lock files, other evaluators' sockets) reaches it.
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, shell.c_str(), &actions, &attributes, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(ends[1]);
    if (error != 0) {
        close(ends[0]);
        return "could not be started in " + folder + ": " + std::strerror(error);
    }
    pid_ = pid;
    socket_ = ends[0];
    reaped_ = false;
    incoming_.clear();
    return {};
}

void EvaluatorProcess::stop(milliseconds grace) {
    if (pid_ <= 0) return;
    shutdown(socket_, SHUT_WR);
    milliseconds slept{0};
    while (!reaped_) {
        if (waitpid(pid_, &status_, WNOHANG) == pid_) {
            reaped_ = true;
        } else if (slept >= grace) {
            break;
        } else {
            sleepFor(slept, milliseconds(1));
        }
    }
    if (!reaped_) {
        // Its process group is its own: what its shell started ends with it.
        kill(-pid_, SIGTERM);
        slept = milliseconds(0);
        while (!reaped_ && slept < milliseconds(1000)) {
            if (waitpid(pid_, &status_, WNOHANG) == pid_) {
                reaped_ = true;
            } else {
                sleepFor(slept, milliseconds(1));
            }
        }
    }
    if (!reaped_) {
        kill(-pid_, SIGKILL);
        while (waitpid(pid_, &status_, 0) < 0 && errno == EINTR) {
        }
    }
    close(socket_);
    socket_ = -1;
    pid_ = -1;
    reaped_ = false;
}

std::string EvaluatorProcess::howItEnded(milliseconds patience) {
    milliseconds slept{0};
    while (!reaped_) {
        if (waitpid(pid_, &status_, WNOHANG) == pid_) {
            reaped_ = true;
        } else if (slept >= patience) {
            return "is still running";
        } else {
            sleepFor(slept, milliseconds(1));
        }
    }
    return describeStatus(status_);
}

bool EvaluatorProcess::send() {
    while (sent_ < request.size()) {
        const ssize_t wrote = ::send(socket_, request.data() + sent_, request.size() - sent_, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (wrote > 0) {
            sent_ += static_cast<std::size_t>(wrote);
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return true;
        } else if (errno != EINTR) {
            return false;  // EPIPE, ECONNRESET: it reads no more
        }
    }
    return true;
}

bool EvaluatorProcess::receive(std::size_t index) {
    char buffer[65536];
    for (;;) {
        const ssize_t got = recv(socket_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got == 0) return false;
        if (got < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
            return false;
        }
        incoming_.append(buffer, static_cast<std::size_t>(got));
        std::size_t start = 0;
        for (std::size_t end; (end = incoming_.find('\n', start)) != std::string::npos; start = end + 1) {
            const std::string_view line(incoming_.data() + start, end - start);
            if (answers.size() == expected) {
                throw ExchangeFailure{index, expected,
                                      "answered more lines than the " + counted(expected, "individual") +
                                          " it was sent (" + quotedAnswer(line) + " is one too many)"};
            }
            double value = 0.0;
            std::string why;
            if (!readAnswer(line, value, why)) throw ExchangeFailure{index, answers.size(), why};
            answers.push_back(value);
            lastAnswer_ = Clock::now();
        }
        incoming_.erase(0, start);
        if (incoming_.size() > kLongestAnswer) {
            throw ExchangeFailure{index, answers.size(), "answered " + quotedAnswer(incoming_) + ", which is not a number"};
        }
    }
}

void exchangeAll(std::span<EvaluatorProcess* const> processes, double timeoutSeconds) {
    // Beyond a thousand million seconds a timeout is no limit at all; the clock's range holds it.
    const auto timeout =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(std::min(timeoutSeconds, 1e9)));
    std::vector<pollfd> watched;
    std::vector<std::size_t> watchedProcess;
    std::size_t index = 0;
    const auto failed = [](ExchangeFailure failure) { throw failure; };
    // An evaluator that ended, or closed its output, before answering in full.
    const auto ended = [&](std::size_t at) {
        EvaluatorProcess& process = *processes[at];
        const std::string how = process.howItEnded(milliseconds(2000));
        const std::string answered =
            "after answering " + std::to_string(process.answers.size()) + " of the " +
            counted(process.expected, "individual") + " it was sent";
        failed({at, process.answers.size(),
                how == "is still running" ? "closed its output " + answered : how + " " + answered});
    };
    try {
        const Clock::time_point begun = Clock::now();
        for (index = 0; index < processes.size(); ++index) {
            EvaluatorProcess& process = *processes[index];
            process.answers.clear();
            process.sent_ = 0;
            process.sending_ = process.expected > 0;
            process.lastAnswer_ = begun;
            if (process.expected == 0) continue;
            // Anything it sends before it is asked is a line too many from the last exchange, or
            // the end of its output: it is not taken for an answer.
            char early[64];
            const ssize_t got = recv(process.socket_, early, sizeof early, MSG_DONTWAIT);
            if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) ended(index);
            if (got > 0 || !process.incoming_.empty()) {
                const std::string text = process.incoming_ + std::string(early, got > 0 ? static_cast<std::size_t>(got) : 0);
                failed({index, process.expected, "sent " + quotedAnswer(text) + " before it was asked for anything"});
            }
        }
        for (;;) {
            watched.clear();
            watchedProcess.clear();
            Clock::time_point deadline = Clock::time_point::max();
            for (index = 0; index < processes.size(); ++index) {
                EvaluatorProcess& process = *processes[index];
                if (process.answers.size() == process.expected) continue;
                const bool writing = process.sending_ && process.sent_ < process.request.size();
                watched.push_back({process.socket_, static_cast<short>(POLLIN | (writing ? POLLOUT : 0)), 0});
                watchedProcess.push_back(index);
                deadline = std::min(deadline, process.lastAnswer_ + timeout);
            }
            if (watched.empty()) break;
            const auto now = Clock::now();
            if (now >= deadline) {
                for (index = 0; index < processes.size(); ++index) {
                    EvaluatorProcess& process = *processes[index];
                    if (process.answers.size() == process.expected || now < process.lastAnswer_ + timeout) continue;
                    std::ostringstream seconds;
                    seconds << timeoutSeconds << (timeoutSeconds == 1.0 ? " second" : " seconds");
                    failed({index, process.answers.size(),
                            "sent no answer for " + seconds.str() + " (\"Evaluator timeout\")"});
                }
            }
            const auto left = std::chrono::ceil<milliseconds>(deadline - now).count();
            const int wait = static_cast<int>(std::min<long long>(left, 60000));
            if (poll(watched.data(), watched.size(), wait) < 0) {
                if (errno == EINTR) continue;
                throw ExchangeFailure{0, 0, std::string("could not be waited for: ") + std::strerror(errno)};
            }
            for (std::size_t w = 0; w < watched.size(); ++w) {
                index = watchedProcess[w];
                EvaluatorProcess& process = *processes[index];
                const short events = watched[w].revents;
                if ((events & POLLOUT) != 0 && !process.send()) {
                    // It reads no more: what it still answers is read up to the end of its output.
                    process.sending_ = false;
                }
                if ((events & (POLLIN | POLLHUP | POLLERR)) != 0 && !process.receive(index)) ended(index);
            }
        }
        for (index = 0; index < processes.size(); ++index) {
            EvaluatorProcess& process = *processes[index];
            if (!process.incoming_.empty()) {
                failed({index, process.expected,
                        "answered more than the " + counted(process.expected, "line") + " it was asked for (" +
                            quotedAnswer(process.incoming_) + " follows them)"});
            }
        }
    } catch (const ExchangeFailure& failure) {
        if (processes[failure.process]->started()) processes[failure.process]->stop(milliseconds(100));
        throw;
    }
}

}  // namespace Valdrin
