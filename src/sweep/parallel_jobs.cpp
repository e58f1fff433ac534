// The jobs' command, parallel's arguments, and parallel as a child process.
#include "sweep/parallel_jobs.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

#include "core/failure.h"
#include "sweep/batches.h"

extern char** environ;

namespace Valdrin {

std::vector<std::string> programArguments(int runs, const ExperimentOutputs& outputs) {
    std::vector<std::string> arguments = {"config.xml", std::to_string(runs), "--csv"};
    if (outputs.ioh) arguments.insert(arguments.end(), {"--ioh", kExperimentIoh});
    if (outputs.report) arguments.push_back("--report");
    if (outputs.plot) arguments.push_back("--plot");
    arguments.insert(arguments.end(), {"--checkpoint", kExperimentCheckpoint});
    return arguments;
}

std::string shellWord(const std::string& text) {
    const bool plain = !text.empty() && text.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                                                "0123456789_-.,/+=:@%") == std::string::npos;
    if (plain) return text;
    std::string word = "'";
    for (char c : text) word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return word + "'";
}

std::string jobCommand(const std::vector<std::string>& arguments, bool labelled) {
    std::string program = "../../valdrin";
    for (const std::string& argument : arguments) program.append(" ").append(shellWord(argument));
    if (labelled) program += " --label \"${e##*/}\"";
    const std::string checkpoint = shellWord(kExperimentCheckpoint);
    const std::string record = shellWord(kJobRecord);
    // {} stands alone as a word, so that parallel puts every folder of the batch in its place.
    // The time: bash's own clock where the shell is bash, else date's (a process each time).
    const std::string now = "${EPOCHREALTIME:-$(date +%s.%N)}";
    return "for e in {} ; do : >\"$e\"/" + record + "; done; s=0; b=" + now + "; for e in {} ; do (cd \"$e\" && exec " +
           program + " $(test -f " + checkpoint + " && echo --resume " + checkpoint +
           ") >>stdout.txt 2>>stderr.txt); r=$?; t=" + now + "; echo \"$r $b $t\" >\"$e\"/" + record +
           "; b=$t; case $r in 0) ;; 130|143) exit $r ;; *) s=1 ;; esac; done; exit $s";
}

std::string experimentCommand(const std::vector<std::string>& arguments, bool labelled) {
    std::string command = "cd {} && ../../valdrin";
    for (const std::string& argument : arguments) command.append(" ").append(shellWord(argument));
    return labelled ? command + " --label {/}" : command;
}

std::vector<std::string> parallelArguments(const ParallelPlan& plan) {
    std::vector<std::string> arguments = {"--will-cite", "--halt", "never", "--joblog", plan.jobLog,
                                          "-N", std::to_string(std::max(plan.batch, 1))};
    if (plan.jobs) arguments.insert(arguments.end(), {"--jobs", std::to_string(*plan.jobs)});
    arguments.insert(arguments.end(), {"--arg-file", plan.jobList});
    if (!plan.hostsFile.empty()) {
        arguments.insert(arguments.end(), {"--sshloginfile", plan.hostsFile, "--workdir", plan.remoteFolder,
                                           "--basefile", "valdrin"});
        for (const std::string& shared : plan.baseFiles) arguments.insert(arguments.end(), {"--basefile", shared});
        for (const std::string& input : plan.inputs) arguments.insert(arguments.end(), {"--transferfile", "{}/" + input});
        arguments.insert(arguments.end(), {"--return", "{}"});
    }
    arguments.push_back(plan.command);
    return arguments;
}

std::vector<std::string> remoteCleanupArguments(const std::string& hostsFile, const std::string& remoteFolder) {
    return {"--will-cite", "--nonall", "--sshloginfile", hostsFile, "rm -rf " + shellWord(remoteFolder)};
}

std::string foundOnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin");
    for (std::string folder; std::getline(folders, folder, ':');) {
        const std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return "";
}

namespace {

std::vector<char*> pointersTo(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

int statusOf(int raw) {
    if (WIFEXITED(raw)) return WEXITSTATUS(raw);
    if (WIFSIGNALED(raw)) return 128 + WTERMSIG(raw);
    return 255;
}

}  // namespace

ParallelProcess::ParallelProcess(const std::vector<std::string>& arguments, const std::string& folder,
                                 const std::string& home) {
    const std::string program = foundOnPath("parallel");
    if (program.empty()) failPlainly("GNU parallel is not installed (no parallel on the PATH; make deps installs it)");
    std::vector<std::string> argv = {program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "PARALLEL=", 9) == 0 || std::strncmp(*entry, "PARALLEL_HOME=", 14) == 0) continue;
        environment.emplace_back(*entry);
    }
    environment.push_back("PARALLEL_HOME=" + home);
    std::vector<char*> argvPointers = pointersTo(argv);
    std::vector<char*> environmentPointers = pointersTo(environment);
    const pid_t parent = getpid();

    const pid_t child = fork();
    if (child < 0) failPlainly(std::string("cannot start GNU parallel: ") + std::strerror(errno));
    if (child == 0) {
        // Only calls that are safe between fork and exec.
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(127);
        const int in = open("/dev/null", O_RDONLY);
        if (in < 0 || dup2(in, STDIN_FILENO) < 0 || dup2(STDERR_FILENO, STDOUT_FILENO) < 0) _exit(127);
        if (chdir(folder.c_str()) != 0) _exit(127);
        execve(argvPointers[0], argvPointers.data(), environmentPointers.data());
        _exit(127);
    }
    setpgid(child, child);
    pid_ = child;
}

ParallelProcess::~ParallelProcess() {
    if (ended_ || pid_ < 0) return;
    kill(pid_, SIGTERM);
    int raw = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (waitpid(pid_, &raw, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &raw, 0);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

int ParallelProcess::wait(const std::function<void()>& tick, const std::function<bool()>& stop) {
    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> lastSignal;
    for (;;) {
        int raw = 0;
        const pid_t done = waitpid(pid_, &raw, WNOHANG);
        if (done == pid_ || (done < 0 && errno != EINTR)) {
            ended_ = true;
            return done == pid_ ? statusOf(raw) : 255;
        }
        if (stop() && (!lastSignal || Clock::now() - *lastSignal > std::chrono::seconds(2))) {
            kill(pid_, SIGTERM);
            lastSignal = Clock::now();
        }
        tick();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

}  // namespace Valdrin
