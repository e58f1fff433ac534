// OutputFile: a file the program writes, placed in the output folder, flushed and closed by its
// owner; and AtomicOutputFile, a report that appears under its name only once it is complete.
// Both keep the system's reason for the first write that failed, so that the message that ends
// the experiment gives it even when the failure came long before the check.
#pragma once

#include <fstream>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Valdrin {

// Where one experiment's files go: its folder, and the files a resumed experiment keeps.
class OutputFolder {
public:
    // "" (the default) is the working folder.
    explicit OutputFolder(std::string folder = {}) : folder_(std::move(folder)) {}
    const std::string& folder() const { return folder_; }
    // The path a file of that name is written at: in the folder unless the name is absolute.
    std::string placed(const std::string& name) const;
    // Paths (as placed) whose files are opened for appending, their content kept, instead of
    // emptied: a resumed experiment sets up its algorithm and problem this way, then cuts the
    // files back to their lengths at the checkpoint. Empty (the default): every file is emptied.
    void keepContentOf(std::vector<std::string> paths) { kept_ = std::move(paths); }
    bool keepsContentOf(const std::string& path) const;

private:
    std::string folder_;
    std::vector<std::string> kept_;
};

// A file buffer that remembers the system's reason (errno) for the first write that failed.
class ReasonedFileBuffer final : public std::filebuf {
public:
    // The reason of the first failed write; 0 while none failed (or since forgetWriteError).
    int writeError() const { return writeError_; }
    void forgetWriteError() { writeError_ = 0; }

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;
    int sync() override;

private:
    void noteFailure();
    int writeError_ = 0;
};

class OutputFile : public std::ostream {
public:
    OutputFile();
    // Opens the named file in the output folder, emptied.
    OutputFile(const OutputFolder& folder, const std::string& name);
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Opens the named file in the output folder, emptied (a file already open is closed first).
    void openFile(const OutputFolder& folder, const std::string& name);
    bool is_open() const { return buffer_.is_open(); }
    void close();
    // The path the file was opened at ("" before any).
    const std::string& path() const { return path_; }
    // Flushes, then ends the experiment with a message naming the file and the system's reason
    // when the file could not be opened or anything written to it could not be stored.
    void verify();

private:
    ReasonedFileBuffer buffer_;
    std::string path_;
    int openError_ = 0;
};

// A report written under a temporary name beside its final one and renamed when it is complete,
// so that a cut file never passes for a whole one. Without commit() (or when commit() fails) the
// temporary file is removed.
class AtomicOutputFile : public std::ostream {
public:
    // The file at the path (a name placed by the experiment's OutputFolder).
    explicit AtomicOutputFile(const std::string& path);
    ~AtomicOutputFile() override;
    AtomicOutputFile(const AtomicOutputFile&) = delete;
    AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

    // Flushes and closes the file, then gives it its final name; ends the experiment with a
    // message naming the file and the system's reason when it could not be written in full.
    void commit();

private:
    ReasonedFileBuffer buffer_;
    std::string final_;
    std::string temporary_;
    int openError_ = 0;
    bool committed_ = false;
};

// "cannot write FILE: REASON", the one wording of an output that cannot be written (error: an
// errno value; 0 when the system gave none).
std::string cannotWrite(const std::string& path, int error);

// Writes the bytes to the file, emptied first; ends the experiment with cannotWrite and the
// system's reason when it cannot.
void writeWholeFile(const std::string& path, std::string_view bytes);

}  // namespace Valdrin
