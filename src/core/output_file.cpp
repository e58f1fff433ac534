// Output files: placement in the output folder, write checks and atomic reports.
#include "core/output_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "core/failure.h"

namespace Valdrin {

std::string cannotWrite(const std::string& path, int error) {
    return "cannot write " + path + ": " + (error != 0 ? std::strerror(error) : "the data could not be stored");
}

std::string OutputFolder::placed(const std::string& name) const {
    if (folder_.empty() || std::filesystem::path(name).is_absolute()) return name;
    return (std::filesystem::path(folder_) / name).string();
}

bool OutputFolder::keepsContentOf(const std::string& path) const {
    return std::find(kept_.begin(), kept_.end(), path) != kept_.end();
}

OutputFile::OutputFile(const OutputFolder& folder, const std::string& name) { openFile(folder, name); }

void OutputFile::openFile(const OutputFolder& folder, const std::string& name) {
    if (is_open()) close();
    clear();
    path_ = folder.placed(name);
    const bool keep = folder.keepsContentOf(path_);
    errno = 0;
    open(path_, keep ? std::ios::out | std::ios::app : std::ios::out | std::ios::trunc);
    openError_ = is_open() ? 0 : (errno != 0 ? errno : EIO);
}

void OutputFile::verify() {
    if (path_.empty()) return;
    if (!is_open()) failPlainly(cannotWrite(path_, openError_));
    errno = 0;
    flush();
    if (fail()) failPlainly(cannotWrite(path_, errno));
}

AtomicOutputFile::AtomicOutputFile(const std::string& path) : final_(path), temporary_(final_ + ".part") {
    // A name that is a link or a device is written where it leads, as it would be without the
    // temporary file: renaming over it would replace the link instead.
    std::error_code error;
    const auto status = std::filesystem::symlink_status(final_, error);
    if (!error && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) temporary_ = final_;
    errno = 0;
    open(temporary_, std::ios::out | std::ios::trunc);
    openError_ = is_open() ? 0 : (errno != 0 ? errno : EIO);
}

AtomicOutputFile::~AtomicOutputFile() {
    if (committed_ || temporary_ == final_) return;
    if (is_open()) close();
    std::error_code ignored;
    std::filesystem::remove(temporary_, ignored);
}

void AtomicOutputFile::commit() {
    if (!is_open()) failPlainly(cannotWrite(final_, openError_));
    errno = 0;
    flush();
    const int writeError = errno;
    const bool written = !fail();
    close();
    if (!written || fail()) failPlainly(cannotWrite(final_, writeError != 0 ? writeError : errno));
    if (temporary_ != final_ && std::rename(temporary_.c_str(), final_.c_str()) != 0) {
        failPlainly(cannotWrite(final_, errno));
    }
    committed_ = true;
}

}  // namespace Valdrin
