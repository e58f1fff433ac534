// The job array's batch script and the readings of Slurm's answers.
#include "sweep/slurm_script.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "sweep/batches.h"
#include "sweep/parallel_jobs.h"

namespace Valdrin {

namespace {

// The body every task runs, after the #SBATCH lines and the settings above it.
constexpr const char* kTaskBody = R"SCRIPT(first=$(( SLURM_ARRAY_TASK_ID * per + 1 ))
mapfile -t folders < <(sed -n "${first},$(( first + per - 1 ))p" )SCRIPT";

constexpr const char* kTaskLoop = R"SCRIPT(
node=$(hostname -s)
stop=
child=
# The program runs in the background so that these traps run at once (a trap waits for a
# foreground child to end). SIGTERM makes the program save its checkpoint and end. Slurm sends
# SIGTERM (a cancel, a requeue, a preemption, the time limit) to every process of the job, the
# program included, which a second one would end before its checkpoint is saved.
trap 'stop=USR1; [ -n "$child" ] && kill -TERM "$child" 2>/dev/null' USR1
trap 'stop=TERM' TERM
echo "valdrin-sweep: task ${SLURM_ARRAY_TASK_ID} of job ${SLURM_ARRAY_JOB_ID} on $node, restart ${SLURM_RESTART_COUNT:-0}"
failed=0
for e in "${folders[@]}"; do
    # An experiment whose record is written ended in an earlier start of this task.
    [ -s "$e/)SCRIPT";

constexpr const char* kTaskRun = R"SCRIPT(" ] && continue
    [ -n "$stop" ] && break
    b=${EPOCHREALTIME:-$(date +%s.%N)}
    (cd "$e" && exec )SCRIPT";

constexpr const char* kTaskEnd = R"SCRIPT() &
    child=$!
    [ -n "$stop" ] && kill -TERM "$child" 2>/dev/null
    wait "$child"; r=$?
    # A trap ends the wait early: wait again until the program has ended, then take the status
    # bash kept for it (127 when it kept none).
    while [ -n "$stop" ] && kill -0 "$child" 2>/dev/null; do wait "$child"; r=$?; done
    if [ -n "$stop" ]; then
        wait "$child" 2>/dev/null; s=$?
        [ "$s" -ne 127 ] && r=$s
    fi
    child=
    t=${EPOCHREALTIME:-$(date +%s.%N)}
    # Stopped: the checkpoint is saved and the record waits for the experiment's end.
    [ -n "$stop" ] && [ "$r" -ne 0 ] && break
    echo "$r $b $t $node" >"$e/)SCRIPT";

constexpr const char* kTaskTail = R"SCRIPT("
    [ "$r" -eq 0 ] || failed=1
done
if [ "$stop" = USR1 ]; then
    echo "valdrin-sweep: the time limit is near; requeued to go on from the checkpoints"
    scontrol requeue "$SLURM_JOB_ID"
    exit 0
fi
[ -n "$stop" ] && exit 143
exit $failed
)SCRIPT";

}  // namespace

std::string slurmBatchScript(const SlurmScriptPlan& plan) {
    const std::string last = std::to_string(std::max(plan.tasks, 1) - 1);
    std::string script = "#!/bin/bash\n";
    script += "# valdrin-sweep's job array for the sweep in " + plan.folder + "\n";
    script += "# Task i runs the experiments on lines i*" + std::to_string(plan.perTask) + "+1 to (i+1)*" +
              std::to_string(plan.perTask) + " of " + kSlurmTaskList +
              ", going on from their checkpoints;\n# 'valdrin-sweep --resume' with the sweep's command submits it "
              "again for the experiments still to run.\n";
    script += "#SBATCH --job-name=valdrin-sweep\n";
    script.append("#SBATCH --array=0-").append(last);
    if (plan.throttle) script.append("%").append(std::to_string(*plan.throttle));
    script += "\n";
    script += "#SBATCH --chdir=" + plan.folder + "\n";
    script += "#SBATCH --output=" + plan.folder + "/" + kSlurmOutput + "/%A_%a.out\n";
    script += "#SBATCH --open-mode=append\n";
    script += "#SBATCH --ntasks=1\n";
    script += "#SBATCH --requeue\n";
    script += "#SBATCH --signal=B:USR1@" + std::to_string(plan.signalSeconds) + "\n";
    if (!plan.partition.empty()) script += "#SBATCH --partition=" + plan.partition + "\n";
    if (!plan.timeLimit.empty()) script += "#SBATCH --time=" + plan.timeLimit + "\n";
    if (!plan.account.empty()) script += "#SBATCH --account=" + plan.account + "\n";
    for (const std::string& option : plan.extraOptions) script += "#SBATCH " + option + "\n";
    script += "cd " + shellWord(plan.folder) + " || exit 1\n";
    script += "per=" + std::to_string(std::max(plan.perTask, 1)) + "\n";
    script += kTaskBody;
    script += shellWord(kSlurmTaskList) + ")\n";
    script += kTaskLoop;
    script += kJobRecord;
    script += kTaskRun;
    script += "../../valdrin";
    for (const std::string& argument : plan.arguments) script.append(" ").append(shellWord(argument));
    if (plan.labelled) script += " --label \"${e##*/}\"";
    const std::string checkpoint = shellWord(kExperimentCheckpoint);
    script += " $(test -f " + checkpoint + " && echo --resume " + checkpoint + ") >>stdout.txt 2>>stderr.txt";
    script += kTaskEnd;
    script += kJobRecord;
    script += kTaskTail;
    return script;
}

int slurmTaskSize(std::optional<int> asked, int experiments, int maxArraySize, double expectedSeconds,
                  std::optional<int> throttle) {
    int size = 1;
    if (asked) {
        size = std::max(*asked, 1);
    } else if (expectedSeconds > 0) {
        const double fitting = std::floor(kSlurmTaskSeconds / expectedSeconds);
        size = static_cast<int>(std::clamp(fitting, 1.0, static_cast<double>(kLargestBatch)));
        if (throttle) {
            const long long shares = 2LL * std::max(*throttle, 1);
            size = static_cast<int>(std::min<long long>(size, std::max(1LL, (std::max(experiments, 0) + shares - 1) / shares)));
        }
        size = std::min(size, std::max(experiments, 1));
    }
    const int limit = std::max(maxArraySize, 1);
    const int least = (std::max(experiments, 0) + limit - 1) / limit;
    return std::max(size, least);
}

int slurmTaskCount(int experiments, int perTask) {
    const int size = std::max(perTask, 1);
    return (std::max(experiments, 0) + size - 1) / size;
}

std::optional<int> maxArraySizeOf(const std::string& configuration) {
    std::istringstream lines(configuration);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string key;
        std::string equals;
        std::string value;
        if (!(words >> key >> equals >> value) || key != "MaxArraySize" || equals != "=") continue;
        if (value.empty() || value.size() > 9 || value.find_first_not_of("0123456789") != std::string::npos) {
            return std::nullopt;
        }
        return std::stoi(value);
    }
    return std::nullopt;
}

std::string submittedJobId(const std::string& output) {
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        const std::string id = line.substr(0, line.find(';'));
        if (!id.empty() && id.find_first_not_of("0123456789") == std::string::npos) return id;
    }
    return "";
}

std::vector<QueuedTask> queuedTasksOf(const std::string& output) {
    std::vector<QueuedTask> tasks;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        QueuedTask task;
        if (!(words >> task.id >> task.state)) continue;
        std::getline(words >> std::ws, task.reason);
        tasks.push_back(task);
    }
    return tasks;
}

std::optional<long long> timeLimitSeconds(const std::string& limit) {
    const auto number = [](const std::string& text) -> std::optional<long long> {
        if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
        return std::stoll(text);
    };
    std::vector<std::string> parts;
    const std::size_t dash = limit.find('-');
    const std::string clock = dash == std::string::npos ? limit : limit.substr(dash + 1);
    std::istringstream fields(clock);
    for (std::string field; std::getline(fields, field, ':');) parts.push_back(field);
    if (!clock.empty() && clock.back() == ':') return std::nullopt;
    std::vector<long long> values;
    for (const std::string& part : parts) {
        const std::optional<long long> value = number(part);
        if (!value) return std::nullopt;
        values.push_back(*value);
    }
    if (dash != std::string::npos) {
        const std::optional<long long> days = number(limit.substr(0, dash));
        if (!days || values.empty() || values.size() > 3) return std::nullopt;
        values.resize(3, 0);  // hours, then minutes and seconds when given
        return ((*days * 24 + values[0]) * 60 + values[1]) * 60 + values[2];
    }
    switch (values.size()) {
        case 1: return values[0] * 60;
        case 2: return values[0] * 60 + values[1];
        case 3: return (values[0] * 60 + values[1]) * 60 + values[2];
        default: return std::nullopt;
    }
}

bool fitsSbatchLine(const std::string& text) {
    return !text.empty() && text.find_first_of(" \t\n\r\"'\\") == std::string::npos;
}

}  // namespace Valdrin
