// WriteLock: one writer at a time for a folder or a file. A program takes the lock before it
// writes anything there and holds it to its end; a second program is refused at once with a
// message naming the holder's process id. The lock is an flock on a lock file, which the kernel
// releases when the process ends however it ends, so a killed holder never blocks anyone.
#pragma once

#include <string>

namespace Valdrin {

// The lock file a program holds in a folder it writes in (an experiment's output folder, a
// sweep's folder).
constexpr const char* kFolderLockName = ".valdrin.lock";
// What a file's lock file adds to its name (a checkpoint's: state.ckpt.lock).
constexpr const char* kFileLockSuffix = ".lock";

// How a lock's messages name what it guards.
struct LockWords {
    std::string subject;     // "the folder results"
    std::string program;     // the program that takes it: "valdrin"
    std::string advice;      // what to do when another holds it
    std::string unwritable;  // "cannot write in the folder results", when the lock file cannot be made
};

class WriteLock {
public:
    WriteLock() = default;
    // Takes the lock file at lockPath (made when missing) and writes "PID PROGRAM" into it. Ends
    // the experiment (failPlainly) when another process holds it: "SUBJECT is in use by PROGRAM
    // (process PID): ADVICE"; or when the lock file cannot be made: "UNWRITABLE: REASON".
    WriteLock(const std::string& lockPath, const LockWords& words);
    // Removes the lock file, then releases the lock.
    ~WriteLock();
    WriteLock(WriteLock&& other) noexcept;
    WriteLock& operator=(WriteLock&& other) noexcept;
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;

    bool held() const { return descriptor_ >= 0; }
    // Removes the lock file and releases the lock now (nothing when none is held).
    void release();

private:
    int descriptor_ = -1;
    std::string path_;  // absolute
};

// The lock of a folder ("" for the working folder): FOLDER/.valdrin.lock.
std::string folderLockPath(const std::string& folder);

// "the folder results" or "the working folder (/home/me/runs)", as the lock's messages name it.
std::string folderSubject(const std::string& folder);

// "cannot write in the folder results" (or "... (the working folder)"), the words of a folder in
// which no file can be made.
std::string folderUnwritable(const std::string& folder);

}  // namespace Valdrin
