// Fuzz target: the input as a configuration file. It goes through the lenient reader and the
// parameter reader exactly as a run reads its configuration, and through the strict scan and
// the configuration check. A Failure is a refusal in words and ends an input normally; anything
// else (a crash, a sanitizer report, another exception, a hang) is a fault.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "config/configuration_scan.h"
#include "config/light_xml.h"
#include "core/failure.h"
#include "core/parameters.h"
#include "fuzz_support.h"
#include "registry/configuration_check.h"
#include "registry/parameter_reader.h"

namespace {

using namespace Valdrin;

// The text of the first child of the first element so named, as a run reads the chosen
// algorithm and problem.
std::string chosenName(const QLightXMLIO& tree, const std::string& element) {
    std::vector<XmlNode> found;
    tree.collectByName(element, found);
    return found.empty() || found.front().children.empty() ? std::string() : found.front().children.front().text;
}

// The reading a run makes: the tree, the record, the names of the algorithm and the problem.
void readAsARunDoes(const std::string& path) {
    QLightXMLIO tree;
    std::ostringstream messages;
    tree.readFromFile(path, messages);
    QEAParameters params;
    readParameters(tree, params);
    std::ostringstream dump;
    dumpParameters(params, chosenName(tree, "algorithm"), chosenName(tree, "problem"), dump);
}

// The reading of the configuration check: every finding, worded, and the record it foresees.
void checkAsTheCheckDoes(std::string_view text) {
    const ConfigurationScan scan = scanConfiguration(text);
    std::string report;
    for (const Finding& finding : checkConfiguration(scan)) report += formatFinding(finding);
    report += parametersText(effectiveParameters(scan));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    fuzzing::silenceStandardStreams();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = fuzzing::scratchFolder() + "/config.xml";
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    fuzzing::writeWhole(path, text);
    try {
        readAsARunDoes(path);
    } catch (const Failure&) {
    }
    try {
        checkAsTheCheckDoes(text);
    } catch (const Failure&) {
    }
    return 0;
}
