// Output files: placement in the output folder, write checks with the system's reason, atomic
// reports.
#include "core/output_file.h"

#include <fcntl.h>
#include <unistd.h>

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

void writeWholeFile(const std::string& path, std::string_view bytes) {
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (descriptor < 0) failPlainly(cannotWrite(path, errno));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(descriptor, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            const int error = written < 0 ? errno : EIO;
            ::close(descriptor);
            failPlainly(cannotWrite(path, error));
        }
        done += static_cast<std::size_t>(written);
    }
    if (::close(descriptor) != 0) failPlainly(cannotWrite(path, errno));
}

std::string OutputFolder::placed(const std::string& name) const {
    if (folder_.empty() || std::filesystem::path(name).is_absolute()) return name;
    return (std::filesystem::path(folder_) / name).string();
}

bool OutputFolder::keepsContentOf(const std::string& path) const {
    return std::find(kept_.begin(), kept_.end(), path) != kept_.end();
}

// The base buffer's writes, with errno cleared before each so that the reason a failed one
// leaves is its own; errno is left as it was when nothing failed.
ReasonedFileBuffer::int_type ReasonedFileBuffer::overflow(int_type c) {
    const int before = errno;
    errno = 0;
    const int_type result = std::filebuf::overflow(c);
    if (traits_type::eq_int_type(result, traits_type::eof())) {
        noteFailure();
    } else {
        errno = before;
    }
    return result;
}

std::streamsize ReasonedFileBuffer::xsputn(const char* s, std::streamsize n) {
    const int before = errno;
    errno = 0;
    const std::streamsize written = std::filebuf::xsputn(s, n);
    if (written < n) {
        noteFailure();
    } else {
        errno = before;
    }
    return written;
}

int ReasonedFileBuffer::sync() {
    const int before = errno;
    errno = 0;
    const int result = std::filebuf::sync();
    if (result != 0) {
        noteFailure();
    } else {
        errno = before;
    }
    return result;
}

void ReasonedFileBuffer::noteFailure() {
    if (writeError_ == 0) writeError_ = errno != 0 ? errno : EIO;
}

OutputFile::OutputFile() : std::ostream(nullptr) { rdbuf(&buffer_); }

OutputFile::OutputFile(const OutputFolder& folder, const std::string& name) : OutputFile() { openFile(folder, name); }

void OutputFile::openFile(const OutputFolder& folder, const std::string& name) {
    if (buffer_.is_open()) buffer_.close();
    buffer_.forgetWriteError();
    clear();
    path_ = folder.placed(name);
    const bool keep = folder.keepsContentOf(path_);
    errno = 0;
    if (buffer_.open(path_, keep ? std::ios::out | std::ios::app : std::ios::out | std::ios::trunc) == nullptr) {
        openError_ = errno != 0 ? errno : EIO;
        setstate(std::ios::failbit);
    } else {
        openError_ = 0;
    }
}

void OutputFile::close() {
    if (buffer_.close() == nullptr) setstate(std::ios::failbit);
}

void OutputFile::verify() {
    if (path_.empty()) return;
    if (!is_open()) failPlainly(cannotWrite(path_, openError_));
    flush();
    if (fail()) failPlainly(cannotWrite(path_, buffer_.writeError()));
}

AtomicOutputFile::AtomicOutputFile(const std::string& path)
    : std::ostream(nullptr), final_(path), temporary_(final_ + ".part") {
    rdbuf(&buffer_);
    // A name that is a link or a device is written where it leads, as it would be without the
    // temporary file: renaming over it would replace the link instead.
    std::error_code error;
    const auto status = std::filesystem::symlink_status(final_, error);
    if (!error && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) temporary_ = final_;
    errno = 0;
    if (buffer_.open(temporary_, std::ios::out | std::ios::trunc) == nullptr) {
        openError_ = errno != 0 ? errno : EIO;
        setstate(std::ios::failbit);
    }
}

AtomicOutputFile::~AtomicOutputFile() {
    if (committed_ || temporary_ == final_) return;
    if (buffer_.is_open()) buffer_.close();
    std::error_code ignored;
    std::filesystem::remove(temporary_, ignored);
}

void AtomicOutputFile::commit() {
    if (!buffer_.is_open()) failPlainly(cannotWrite(final_, openError_));
    flush();
    const bool written = !fail();
    const bool closed = buffer_.close() != nullptr;
    if (!written || !closed) failPlainly(cannotWrite(final_, buffer_.writeError()));
    if (temporary_ != final_ && std::rename(temporary_.c_str(), final_.c_str()) != 0) {
        failPlainly(cannotWrite(final_, errno));
    }
    committed_ = true;
}

}  // namespace Valdrin
