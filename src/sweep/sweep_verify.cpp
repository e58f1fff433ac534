// Checking a sample of a sweep's experiments by re-running them.
#include "sweep/sweep_verify.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <sstream>

#include "driver/command_line.h"
#include "driver/manifest.h"
#include "driver/verify.h"
#include "sweep/sweep_program.h"

namespace Valdrin {

namespace fs = std::filesystem;

std::vector<std::size_t> samplePlaces(std::size_t count, std::size_t sample) {
    std::vector<std::size_t> places;
    const std::size_t taken = std::min(count, sample);
    for (std::size_t i = 0; i < taken; ++i) places.push_back(i * count / taken);
    return places;
}

int verifySweep(const std::string& folder, std::optional<int> sample, std::ostream& out, std::ostream& err) {
    const fs::path sweep(folder);
    const fs::path experiments = sweep / "experiments";
    if (!fs::is_regular_file(sweep / "plan.txt") || !fs::is_directory(experiments)) {
        err << "valdrin-sweep: error: " << folder << " holds no sweep (no plan.txt and experiments folder)\n";
        return kExitNotVerifiable;
    }
    std::vector<std::string> names;
    std::size_t without = 0;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(experiments, error)) {
        if (!entry.is_directory()) continue;
        if (fs::is_regular_file(entry.path() / kManifestFile)) names.push_back(entry.path().filename().string());
        else ++without;
    }
    std::sort(names.begin(), names.end());
    if (names.empty()) {
        err << "valdrin-sweep: error: no experiment of the sweep in " << folder << " has a " << kManifestFile
            << " (they are written by the experiments that ran to their end)\n";
        return kExitNotVerifiable;
    }
    // The program the experiments ran: the sweep's copy, else the one beside this program.
    std::string program = (sweep / "valdrin").string();
    if (access(program.c_str(), X_OK) != 0) program = programBesideThis();

    const std::vector<std::size_t> places = samplePlaces(names.size(), sample ? static_cast<std::size_t>(*sample) : names.size());
    std::size_t reproduced = 0;
    for (std::size_t i = 0; i < places.size(); ++i) {
        const std::string name = names[places[i]];
        out << "experiments/" << name << " (" << i + 1 << " of " << places.size() << "):\n" << std::flush;
        // Its files' lines, indented under it.
        std::ostringstream lines;
        const int status = verifyExperiment((experiments / name).string(), program, lines, err, "valdrin-sweep");
        std::istringstream written(lines.str());
        for (std::string line; std::getline(written, line);) out << "  " << line << "\n";
        out << std::flush;
        if (status == kExitRan) ++reproduced;
    }
    out << reproduced << " of " << places.size() << " experiments checked reproduce (of the sweep's " << names.size()
        << " with a manifest";
    if (without > 0) out << "; " << without << " without one";
    out << ")\n";
    return reproduced == places.size() ? kExitRan : kExitFailed;
}

}  // namespace Valdrin
