// valdrin-sweep across two machines: two SSH servers started by the test on loopback addresses
// of their own (127.0.0.2 and 127.0.0.3, one high port), with a host key and a client key made
// for the test, each starting every command in a working folder of its own. The sweep's results
// must equal those of the same sweep on this machine, and the job log must show both hosts.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <thread>

#include "support/test_support.h"

namespace Valdrin {
namespace {

namespace fs = std::filesystem;
using testing::fileExists;
using testing::queryRows;
using testing::readFile;
using testing::runCommand;
using testing::splitLines;
using testing::writeFile;
using Rows = std::vector<std::vector<std::string>>;

constexpr const char* kServer = "/usr/sbin/sshd";
const std::vector<std::string> kAddresses = {"127.0.0.2", "127.0.0.3"};

// A port no one listens on at either address, as the system hands one out; 0 when none is found.
int freePort() {
    for (int attempt = 0; attempt < 20; ++attempt) {
        int port = 0;
        bool free = true;
        for (const std::string& address : kAddresses) {
            const int probe = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in where{};
            where.sin_family = AF_INET;
            where.sin_port = htons(static_cast<std::uint16_t>(port));
            inet_pton(AF_INET, address.c_str(), &where.sin_addr);
            free = free && bind(probe, reinterpret_cast<sockaddr*>(&where), sizeof where) == 0;
            if (free && port == 0) {
                socklen_t size = sizeof where;
                getsockname(probe, reinterpret_cast<sockaddr*>(&where), &size);
                port = ntohs(where.sin_port);
            }
            close(probe);
        }
        if (free && port != 0) return port;
    }
    return 0;
}

bool accepts(const std::string& address, int port) {
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(static_cast<std::uint16_t>(port));
    inet_pton(AF_INET, address.c_str(), &where.sin_addr);
    const bool connected = connect(probe, reinterpret_cast<sockaddr*>(&where), sizeof where) == 0;
    close(probe);
    return connected;
}

// Two SSH servers for the lifetime of the object, stopped (with every process of their process
// groups) whatever happens. start() says what went wrong, or "" when both accept connections.
class SshServers {
public:
    explicit SshServers(fs::path folder) : folder_(std::move(folder)) {}
    ~SshServers() {
        for (pid_t pid : pids_) kill(-pid, SIGTERM);
        for (pid_t pid : pids_) {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            int raw = 0;
            while (waitpid(pid, &raw, WNOHANG) == 0) {
                if (std::chrono::steady_clock::now() > deadline) {
                    kill(-pid, SIGKILL);
                    waitpid(pid, &raw, 0);
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
    }
    SshServers(const SshServers&) = delete;
    SshServers& operator=(const SshServers&) = delete;

    std::string start() {
        if (access(kServer, X_OK) != 0) {
            return std::string(kServer) + " is not installed: the test of a sweep across machines needs the package "
                                          "openssh-server (make deps installs it)";
        }
        // As root, the server keeps its privilege separation in this folder, which only the
        // system's own start-up of the service makes.
        if (geteuid() == 0 && !fs::exists("/run/sshd")) {
            std::error_code ignored;
            fs::create_directories("/run/sshd", ignored);
            chmod("/run/sshd", 0755);
        }
        for (const char* key : {"host_key", "client_key"}) {
            const auto made = runCommand("ssh-keygen", {"-q", "-t", "ed25519", "-N", "", "-C", "valdrin-test", "-f",
                                                        (folder_ / key).string()});
            if (made.status != 0) return std::string("ssh-keygen could not make ") + key + ": " + made.err;
        }
        port_ = freePort();
        if (port_ == 0) return "no free port on 127.0.0.2 and 127.0.0.3";
        const std::string hostKey = readFile((folder_ / "host_key.pub").string());
        std::string knownHosts;
        for (std::size_t i = 0; i < kAddresses.size(); ++i) {
            const std::string address = kAddresses[i];
            const fs::path home = folder_ / ("host" + std::to_string(i + 2));
            fs::create_directories(home);
            homes_.push_back(home);
            knownHosts += "[" + address + "]:" + std::to_string(port_) + " " + hostKey;
            const fs::path config = folder_ / ("sshd_" + address + ".conf");
            // Each server starts every command in its own folder (which stands for that
            // machine's home) and runs it there unchanged, with the login shell, as sshd would.
            writeFile(config.string(),
                      "ListenAddress " + address + ":" + std::to_string(port_) + "\n" +
                          "HostKey " + (folder_ / "host_key").string() + "\n" +
                          "AuthorizedKeysFile " + (folder_ / "client_key.pub").string() + "\n" +
                          "PidFile " + (folder_ / ("sshd_" + address + ".pid")).string() + "\n" +
                          "StrictModes no\nPasswordAuthentication no\nKbdInteractiveAuthentication no\nUsePAM no\n"
                          "PermitRootLogin prohibit-password\nMaxStartups 64\n"
                          "SetEnv HOME=" + home.string() + "\n" +
                          "ForceCommand cd " + home.string() + " && eval \"$SSH_ORIGINAL_COMMAND\"\n");
            const std::string log = (folder_ / ("sshd_" + address + ".log")).string();
            const pid_t pid = fork();
            if (pid == 0) {
                setpgid(0, 0);
                const int in = open("/dev/null", O_RDONLY);
                const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                if (in < 0 || out < 0) _exit(126);
                dup2(in, 0);
                dup2(out, 1);
                dup2(out, 2);
                const std::string configPath = config.string();
                execl(kServer, kServer, "-D", "-e", "-f", configPath.c_str(), static_cast<char*>(nullptr));
                _exit(127);
            }
            setpgid(pid, pid);
            pids_.push_back(pid);
        }
        writeFile((folder_ / "known_hosts").string(), knownHosts);
        writeFile((folder_ / "ssh_config").string(),
                  "Host *\n  Port " + std::to_string(port_) + "\n  IdentityFile " + (folder_ / "client_key").string() +
                      "\n  IdentitiesOnly yes\n  BatchMode yes\n  StrictHostKeyChecking yes\n  UserKnownHostsFile " +
                      (folder_ / "known_hosts").string() +
                      "\n  KexAlgorithms curve25519-sha256\n  ConnectTimeout 10\n  ServerAliveInterval 5\n"
                      "  ServerAliveCountMax 3\n  LogLevel ERROR\n");
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (std::size_t i = 0; i < kAddresses.size(); ++i) {
            while (!accepts(kAddresses[i], port_)) {
                int raw = 0;
                if (waitpid(pids_[i], &raw, WNOHANG) == pids_[i]) {
                    pids_[i] = -pids_[i];  // ended: nothing to stop
                    return "sshd on " + kAddresses[i] + " ended at once: " +
                           readFile((folder_ / ("sshd_" + kAddresses[i] + ".log")).string());
                }
                if (std::chrono::steady_clock::now() > deadline) {
                    return "sshd on " + kAddresses[i] + " did not accept connections within 10 s: " +
                           readFile((folder_ / ("sshd_" + kAddresses[i] + ".log")).string());
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
        // Logging in works: the command runs in the server's own folder.
        for (std::size_t i = 0; i < kAddresses.size(); ++i) {
            const auto pwd = runCommand("ssh", {"-F", (folder_ / "ssh_config").string(), kAddresses[i], "pwd"});
            if (pwd.status != 0 || pwd.out != homes_[i].string() + "\n") {
                return "cannot log in to " + kAddresses[i] + " (status " + std::to_string(pwd.status) + "): " + pwd.err +
                       readFile((folder_ / ("sshd_" + kAddresses[i] + ".log")).string());
            }
        }
        return "";
    }

    // The line of parallel's --sshloginfile for one server, with the number of its job slots.
    std::string login(std::size_t server, int slots) const {
        return std::to_string(slots) + "/ssh -F " + (folder_ / "ssh_config").string() + " " + kAddresses[server];
    }
    const fs::path& home(std::size_t server) const { return homes_[server]; }

private:
    fs::path folder_;
    int port_ = 0;
    std::vector<pid_t> pids_;
    std::vector<fs::path> homes_;
};

// valdrin-sweep, ended by SIGTERM (status 124) when it takes more than two minutes.
testing::ProgramResult sweepWithin(const std::vector<std::string>& arguments) {
    std::vector<std::string> words = {"120", VALDRIN_SWEEP_EXECUTABLE};
    words.insert(words.end(), arguments.begin(), arguments.end());
    return runCommand("timeout", words);
}

std::map<std::string, Rows> comparableTables(const std::string& database) {
    return {
        {"experiments", queryRows(database, "SELECT id, folder, population_size, mutation_rate, seed, exit_status "
                                            "FROM experiments ORDER BY id")},
        {"runs", queryRows(database, "SELECT experiment_id, run, generations, evaluations, solved, final_best_fitness, "
                                     "final_worst_fitness FROM runs ORDER BY experiment_id, run")},
        {"generations", queryRows(database, "SELECT * FROM generations ORDER BY experiment_id, run, generation")},
    };
}

TEST(SweepAcrossMachinesEndToEnd, TwoSshHostsRunTheExperimentsAndTheResultsEqualALocalSweep) {
    testing::ScratchDir scratch;
    SshServers servers(scratch.path());
    const std::string problem = servers.start();
    ASSERT_EQ(problem, "") << "the SSH servers for the test could not be started";

    writeFile("hosts", "# two machines, two jobs at a time each\n" + servers.login(0, 2) + "\n" + servers.login(1, 2) + "\n");
    writeFile("base.xml", testing::gaConfiguration("Sphere", {{"Encoding", "real"},
                                                              {"Chromosome length", "3"},
                                                              {"Generations number", "40"},
                                                              {"Selection type", "tournament"},
                                                              {"Crossover type", "SBX"},
                                                              {"Mutation type", "gaussian"}}));
    // Population size 0 cannot run: those experiments fail on their host, and their standard
    // error comes back with their folder.
    const std::vector<std::string> grid = {"base.xml", "--set", "Population size=0,16", "--set", "Mutation rate=0.1,0.3",
                                           "--seeds", "1-2", "--runs", "2"};
    std::vector<std::string> remote = grid;
    remote.insert(remote.end(), {"--hosts", "hosts", "--out", "remote"});
    const auto result = sweepWithin(remote);
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_NE(result.out.find("4 of 8 experiments ran, 4 failed"), std::string::npos) << result.out << result.err;
    EXPECT_NE(result.err.find("    valdrin: error: config.xml:11: \"Population size\" is 0"), std::string::npos) << result.err;

    // The job log shows both hosts, each with results sent back.
    std::map<std::string, int> jobsPerHost;
    for (const std::string& line : splitLines(readFile("remote/joblog"))) {
        if (line.rfind("Seq", 0) == 0) continue;
        std::vector<std::string> fields;
        std::size_t start = 0;
        for (std::size_t tab = line.find('\t'); tab != std::string::npos; tab = line.find('\t', start)) {
            fields.push_back(line.substr(start, tab - start));
            start = tab + 1;
        }
        ASSERT_GE(fields.size(), 8u) << line;
        ++jobsPerHost[fields[1]];
        EXPECT_GT(std::stol(fields[5]), 0) << "nothing came back: " << line;
    }
    ASSERT_EQ(jobsPerHost.size(), 2u) << readFile("remote/joblog");
    for (const auto& [host, jobs] : jobsPerHost) {
        EXPECT_TRUE(host.find("127.0.0.2") != std::string::npos || host.find("127.0.0.3") != std::string::npos) << host;
        EXPECT_GT(jobs, 0);
    }
    EXPECT_EQ(queryRows("remote/results.sqlite", "SELECT count(DISTINCT host) FROM experiments WHERE host LIKE '%127.0.0.%'"),
              (Rows{{"2"}}));

    // The results are those of the same sweep on this machine.
    std::vector<std::string> local = grid;
    local.insert(local.end(), {"--out", "local"});
    const auto here = sweepWithin(local);
    EXPECT_EQ(here.status, 1) << here.err;
    const auto remoteTables = comparableTables("remote/results.sqlite");
    EXPECT_EQ(remoteTables.at("runs").size(), 8u);
    EXPECT_EQ(remoteTables, comparableTables("local/results.sqlite"));
    EXPECT_EQ(readFile("remote/experiments/4_16_0.3_seed2/summary.log").size(),
              readFile("local/experiments/4_16_0.3_seed2/summary.log").size());

    // Nothing is left on the hosts, nor the local stand-in for their working folder.
    for (std::size_t server = 0; server < 2; ++server) {
        for (const auto& entry : fs::directory_iterator(servers.home(server))) {
            EXPECT_EQ(entry.path().filename().string().rfind(".valdrin-sweep-", 0), std::string::npos) << entry.path();
        }
    }
    for (const auto& entry : fs::directory_iterator("remote")) {
        EXPECT_FALSE(fs::is_symlink(entry.path())) << entry.path();
    }

    // A problem plugin goes to both machines with the program: its runs there are those here.
    fs::create_directories("plugin/lib");
    fs::copy_file(std::string(VALDRIN_PLUGIN_DIR) + "/libonemax.so", "plugin/lib/libonemax.so");
    writeFile("plugin/base.xml", testing::gaConfiguration("Onemax-plugin", {{"Problem library", "lib/libonemax.so"},
                                                                            {"Encoding", "integer"},
                                                                            {"Chromosome length", "30"},
                                                                            {"Generations number", "30"},
                                                                            {"Selection type", "tournament"}}));
    const std::vector<std::string> plugins = {"plugin/base.xml", "--set", "Mutation rate=0.01,0.05", "--seeds", "1-2"};
    std::vector<std::string> pluginRemote = plugins;
    pluginRemote.insert(pluginRemote.end(), {"--hosts", "hosts", "--out", "plugin-remote"});
    const auto pluginResult = sweepWithin(pluginRemote);
    ASSERT_EQ(pluginResult.status, 0) << pluginResult.err;
    std::vector<std::string> pluginLocal = plugins;
    pluginLocal.insert(pluginLocal.end(), {"--out", "plugin-local"});
    ASSERT_EQ(sweepWithin(pluginLocal).status, 0);
    const std::string runsQuery = "SELECT experiment_id, run, evaluations, final_best_fitness, best_so_far_fitness "
                                  "FROM runs ORDER BY experiment_id, run";
    EXPECT_EQ(queryRows("plugin-remote/results.sqlite", runsQuery).size(), 4u);
    EXPECT_EQ(queryRows("plugin-remote/results.sqlite", runsQuery), queryRows("plugin-local/results.sqlite", runsQuery));
}

}  // namespace
}  // namespace Valdrin
