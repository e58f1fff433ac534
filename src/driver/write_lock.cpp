// Lock files: taking one (flock, made sure to be the file the name still names), saying who holds
// it, and giving it up.
#include "driver/write_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "core/failure.h"
#include "core/output_file.h"

namespace Valdrin {

namespace {

namespace fs = std::filesystem;

// Whether the descriptor's file is the one the path names now (the holder before us may have
// removed the file as it ended, after we opened it).
bool stillNamed(int descriptor, const std::string& path) {
    struct stat opened {};
    struct stat named {};
    return fstat(descriptor, &opened) == 0 && stat(path.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
           opened.st_ino == named.st_ino;
}

std::string readAll(int descriptor) {
    std::string text;
    char buffer[256];
    off_t offset = 0;
    while (text.size() < 4096) {
        const ssize_t got = pread(descriptor, buffer, sizeof buffer, offset);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        text.append(buffer, static_cast<std::size_t>(got));
        offset += got;
    }
    return text;
}

// "valdrin (process 1234)" from the lock file's "1234 valdrin"; the holder writes it right after
// taking the lock, so an empty file is read again for a moment.
std::string holderOf(int descriptor) {
    std::string text;
    for (int attempt = 0; attempt < 40; ++attempt) {
        text = readAll(descriptor);
        if (text.find('\n') != std::string::npos) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
    if (digits == 0 || digits > 10) return "another process";
    const std::size_t nameStart = std::min(text.find_first_not_of(' ', digits), text.size());
    const std::size_t nameEnd = std::min(text.find('\n', nameStart), text.size());
    const std::string program = text.substr(nameStart, nameEnd - nameStart);
    return (program.empty() ? std::string("another process") : program) + " (process " + text.substr(0, digits) + ")";
}

}  // namespace

std::string folderLockPath(const std::string& folder) {
    return folder.empty() ? std::string(kFolderLockName) : (fs::path(folder) / kFolderLockName).string();
}

std::string folderSubject(const std::string& folder) {
    if (!folder.empty()) return "the folder " + folder;
    std::error_code error;
    const fs::path here = fs::current_path(error);
    return error ? std::string("the working folder") : "the working folder (" + here.string() + ")";
}

std::string folderUnwritable(const std::string& folder) {
    return "cannot write in the folder " + (folder.empty() ? std::string("(the working folder)") : folder);
}

WriteLock::WriteLock(const std::string& lockPath, const LockWords& words) {
    std::error_code error;
    const fs::path absolute = fs::absolute(lockPath, error);
    const std::string path = error ? lockPath : absolute.string();
    // A holder removes the lock file as it ends; one that opened the file just before that takes
    // a lock on a file no longer named, sees it and opens the new one. Each turn needs another
    // program to take and give up the lock in between, so a few turns are plenty.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int descriptor = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (descriptor < 0) failPlainly(words.unwritable + ": " + std::strerror(errno));
        if (flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
            const int reason = errno;
            if (reason == EWOULDBLOCK) {
                const std::string holder = holderOf(descriptor);
                close(descriptor);
                failPlainly(words.subject + " is in use by " + holder + ": " + words.advice);
            }
            close(descriptor);
            if (reason == EINTR) continue;
            failPlainly("cannot lock " + lockPath + ": " + std::strerror(reason));
        }
        if (!stillNamed(descriptor, path)) {
            close(descriptor);
            continue;
        }
        descriptor_ = descriptor;
        path_ = path;
        // Written over a killed holder's line before the rest is cut, so that a program refused
        // meanwhile reads a whole first line (holderOf waits a moment for a new file's line).
        const std::string text = std::to_string(getpid()) + " " + words.program + "\n";
        errno = 0;
        if (pwrite(descriptor, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size()) ||
            ftruncate(descriptor, static_cast<off_t>(text.size())) != 0) {
            const int reason = errno != 0 ? errno : EIO;
            release();
            failPlainly(cannotWrite(lockPath, reason));
        }
        return;
    }
    failPlainly("cannot lock " + lockPath + ": other programs keep replacing it");
}

WriteLock::~WriteLock() { release(); }

WriteLock::WriteLock(WriteLock&& other) noexcept : descriptor_(other.descriptor_), path_(std::move(other.path_)) {
    other.descriptor_ = -1;
}

WriteLock& WriteLock::operator=(WriteLock&& other) noexcept {
    if (this != &other) {
        release();
        descriptor_ = other.descriptor_;
        path_ = std::move(other.path_);
        other.descriptor_ = -1;
    }
    return *this;
}

void WriteLock::release() {
    if (descriptor_ < 0) return;
    // Removed while still held, so that no other program can take this file in between; one that
    // opened it already finds it no longer named and takes a new one. A file that is no longer
    // ours (removed by hand and made again by another program) is left alone.
    if (stillNamed(descriptor_, path_)) unlink(path_.c_str());
    close(descriptor_);
    descriptor_ = -1;
}

}  // namespace Valdrin
