// manifest.json's text, the hashes of its files and the masking of measured durations.
#include "driver/manifest.h"

#include <gcrypt.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <fstream>
#include <stdexcept>

#include "core/failure.h"
#include "core/system_library.h"

namespace Valdrin {

namespace {

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }
bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// The length of a leading "N:\t" (a run's number), 0 when the line does not start with one.
std::size_t runNumberPrefix(std::string_view line) {
    std::size_t digits = 0;
    while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9') ++digits;
    if (digits == 0 || line.substr(digits, 2) != ":\t") return 0;
    return digits + 2;
}

// libgcrypt's digest functions, loaded on first use: a program that writes no manifest does not
// spend the start-up time of mapping and binding the library.
struct Gcrypt {
    decltype(&gcry_md_open) open = nullptr;
    decltype(&gcry_md_write) write = nullptr;
    decltype(&gcry_md_read) read = nullptr;
    decltype(&gcry_md_close) close = nullptr;
};

Gcrypt loadGcrypt() {
    const SystemLibrary library({"libgcrypt.so.20", "libgcrypt.so"}, "cannot take SHA-256 hashes", "libgcrypt");
    // The library starts itself up when its version is checked; a hash needs no secure memory.
    decltype(&gcry_check_version) checkVersion = nullptr;
    decltype(&gcry_control) control = nullptr;
    library.bind("gcry_check_version", checkVersion);
    library.bind("gcry_control", control);
    if (checkVersion(nullptr) == nullptr) failPlainly("cannot take SHA-256 hashes: libgcrypt did not start");
    control(GCRYCTL_DISABLE_SECMEM, 0);
    control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    Gcrypt gcrypt;
    library.bind("gcry_md_open", gcrypt.open);
    library.bind("gcry_md_write", gcrypt.write);
    library.bind("gcry_md_read", gcrypt.read);
    library.bind("gcry_md_close", gcrypt.close);
    return gcrypt;
}

const Gcrypt& gcrypt() {
    static const Gcrypt loaded = loadGcrypt();
    return loaded;
}

// SHA-256 fed piece by piece.
class Sha256 {
public:
    Sha256() {
        if (gcrypt().open(&handle_, GCRY_MD_SHA256, 0) != 0) {
            failPlainly("cannot take SHA-256 hashes: libgcrypt refused to start one");
        }
    }
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    ~Sha256() { gcrypt().close(handle_); }
    void add(std::string_view bytes) { gcrypt().write(handle_, bytes.data(), bytes.size()); }
    std::string hex() {
        constexpr std::size_t kDigestBytes = 32;
        const unsigned char* digest = gcrypt().read(handle_, GCRY_MD_SHA256);
        static constexpr char kDigits[] = "0123456789abcdef";
        std::string text;
        for (std::size_t i = 0; i < kDigestBytes; ++i) {
            text += kDigits[digest[i] >> 4];
            text += kDigits[digest[i] & 15];
        }
        return text;
    }

private:
    gcry_md_hd_t handle_ = nullptr;
};

}  // namespace

ClockMask::ClockMask(std::string_view path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    if (name == "summary.log") kind_ = Kind::Summary;
    else if (endsWith(name, ".log")) kind_ = Kind::Log;
    else if (name == "runs.csv") kind_ = Kind::RunsCsv;
    else if (name == "report.html") kind_ = Kind::Report;
}

std::string_view ClockMask::apply(std::string_view line) {
    switch (kind_) {
    case Kind::Plain:
        return line;
    case Kind::Log:
    case Kind::Summary: {
        constexpr std::string_view kDuration = "Run duration: ";
        constexpr std::string_view kSeconds = " seconds";
        if (startsWith(line, kDuration) && endsWith(line, kSeconds) &&
            line.size() > kDuration.size() + kSeconds.size()) {
            return "Run duration: T seconds";
        }
        if (kind_ == Kind::Log) return line;
        if (line == "#\tTimes:") inTimes_ = true;
        if (startsWith(line, "#\tConvergence") || line == "No convergence") inTimes_ = false;
        if (line == "#\tTime\tGenerations\tFE") inSolutions_ = true;
        if (line.empty()) inSolutions_ = false;
        if (startsWith(line, "Mean time:\t")) return "Mean time:\tT";
        if (startsWith(line, "Time deviation:\t")) return "Time deviation:\tT";
        const std::size_t number = runNumberPrefix(line);
        if (inTimes_) {
            if (startsWith(line, "Mean:\t")) return "Mean:\tT";
            if (startsWith(line, "Deviation:\t")) return "Deviation:\tT";
            if (number > 0 && number < line.size() && line.find('\t', number) == std::string_view::npos) {
                masked_.assign(line.substr(0, number)).append("T");
                return masked_;
            }
        }
        if (inSolutions_ && number > 0) {
            const std::size_t tab = line.find('\t', number);
            if (tab != std::string_view::npos && tab > number) {
                masked_.assign(line.substr(0, number)).append("T").append(line.substr(tab));
                return masked_;
            }
        }
        return line;
    }
    case Kind::RunsCsv: {
        std::size_t column = 0;
        std::size_t start = 0;
        if (header_) {
            header_ = false;
            while (start <= line.size()) {
                const std::size_t comma = std::min(line.find(',', start), line.size());
                const std::string_view field = line.substr(start, comma - start);
                if (field == "duration_s" || field == "time_to_solution_s") clockColumns_.push_back(column);
                ++column;
                start = comma + 1;
            }
            return line;
        }
        if (clockColumns_.empty()) return line;
        masked_.clear();
        while (start <= line.size()) {
            const std::size_t comma = std::min(line.find(',', start), line.size());
            const std::string_view field = line.substr(start, comma - start);
            if (column > 0) masked_ += ',';
            const bool clock = std::find(clockColumns_.begin(), clockColumns_.end(), column) != clockColumns_.end();
            masked_.append(clock && !field.empty() ? std::string_view("T") : field);
            ++column;
            start = comma + 1;
        }
        return masked_;
    }
    case Kind::Report: {
        if (!startsWith(line, "<tr data-run=\"") || !endsWith(line, "</td></tr>")) return line;
        constexpr std::string_view kAttribute = " data-duration=\"";
        const std::size_t attribute = line.find(kAttribute);
        const std::size_t cell = line.rfind("<td>");
        if (attribute == std::string_view::npos || cell == std::string_view::npos) return line;
        const std::size_t valueStart = attribute + kAttribute.size();
        const std::size_t valueEnd = line.find('"', valueStart);
        if (valueEnd == std::string_view::npos || valueEnd > cell) return line;
        const std::size_t cellEnd = line.size() - std::string_view("</td></tr>").size();
        masked_.assign(line.substr(0, valueStart))
            .append("T")
            .append(line.substr(valueEnd, cell + 4 - valueEnd))
            .append("T")
            .append(line.substr(cellEnd));
        return masked_;
    }
    }
    return line;
}

std::string sha256Of(std::string_view bytes) {
    Sha256 hash;
    hash.add(bytes);
    return hash.hex();
}

std::string fileSha256(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "";
    Sha256 hash;
    std::array<char, 1 << 16> buffer{};
    while (in.read(buffer.data(), buffer.size()) || in.gcount() > 0) {
        hash.add(std::string_view(buffer.data(), static_cast<std::size_t>(in.gcount())));
    }
    return in.bad() ? "" : hash.hex();
}

std::string maskedFileSha256(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "";
    ClockMask mask(path);
    Sha256 hash;
    // Whole blocks are read; lines, masked, are gathered into a block of their own that is hashed
    // when full, so that a file of many short lines costs few calls into the library.
    std::array<char, 1 << 16> buffer{};
    std::string line;      // a line cut by the end of a block
    std::string gathered;  // masked lines waiting to be hashed
    gathered.reserve(buffer.size() * 2);
    const auto lineDone = [&](std::string_view text, bool broken) {
        gathered.append(mask.apply(text));
        if (broken) gathered += '\n';
        if (gathered.size() >= buffer.size()) {
            hash.add(gathered);
            gathered.clear();
        }
    };
    while (in.read(buffer.data(), buffer.size()) || in.gcount() > 0) {
        std::string_view block(buffer.data(), static_cast<std::size_t>(in.gcount()));
        for (std::size_t end = block.find('\n'); end != std::string_view::npos; end = block.find('\n')) {
            if (line.empty()) {
                lineDone(block.substr(0, end), true);
            } else {
                line.append(block.substr(0, end));
                lineDone(line, true);
                line.clear();
            }
            block.remove_prefix(end + 1);
        }
        line.append(block);
    }
    if (in.bad()) return "";
    if (!line.empty()) lineDone(line, false);
    hash.add(gathered);
    return hash.hex();
}

const char* programBuild() { return VALDRIN_BUILD; }

namespace {

nlohmann::ordered_json fileJson(const ManifestFile& file) {
    return nlohmann::ordered_json{{"path", file.path}, {"sha256", file.sha256}};
}

ManifestFile fileFrom(const nlohmann::json& value) {
    return {value.at("path").get<std::string>(), value.at("sha256").get<std::string>()};
}

}  // namespace

std::string manifestText(const Manifest& manifest) {
    nlohmann::ordered_json json;
    json["format"] = manifest.format;
    json["program"] = {{"name", manifest.program}, {"version", manifest.version}, {"build", manifest.build}};
    json["arguments"] = manifest.arguments;
    json["working_folder"] = manifest.workingFolder;
    json["configuration"] = fileJson(manifest.configuration);
    json["inputs"] = nlohmann::ordered_json::array();
    for (const ManifestFile& file : manifest.inputs) json["inputs"].push_back(fileJson(file));
    json["seed"] = manifest.seed;
    json["seed_from_clock"] = manifest.seedFromClock;
    json["outputs"] = nlohmann::ordered_json::array();
    for (const ManifestFile& file : manifest.outputs) json["outputs"].push_back(fileJson(file));
    json["hashes"] = "SHA-256; those of outputs taken with the measured durations blanked";
    return json.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

Manifest parseManifest(const std::string& text) {
    try {
        const nlohmann::json json = nlohmann::json::parse(text);
        Manifest manifest;
        manifest.format = json.at("format").get<int>();
        if (manifest.format != kManifestFormat) {
            throw std::runtime_error("its format is " + std::to_string(manifest.format) + ", this program reads " +
                                     std::to_string(kManifestFormat));
        }
        const nlohmann::json& program = json.at("program");
        manifest.program = program.at("name").get<std::string>();
        manifest.version = program.at("version").get<std::string>();
        manifest.build = program.at("build").get<std::string>();
        manifest.arguments = json.at("arguments").get<std::vector<std::string>>();
        manifest.workingFolder = json.at("working_folder").get<std::string>();
        manifest.configuration = fileFrom(json.at("configuration"));
        for (const nlohmann::json& file : json.at("inputs")) manifest.inputs.push_back(fileFrom(file));
        manifest.seed = json.at("seed").get<std::uint32_t>();
        manifest.seedFromClock = json.at("seed_from_clock").get<bool>();
        for (const nlohmann::json& file : json.at("outputs")) manifest.outputs.push_back(fileFrom(file));
        return manifest;
    } catch (const nlohmann::json::exception& error) {
        throw std::runtime_error(error.what());
    }
}

}  // namespace Valdrin
