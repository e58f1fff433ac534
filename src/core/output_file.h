// OutputFile: a file the program writes, placed in the output folder, flushed and closed by its
// owner; and AtomicOutputFile, a report that appears under its name only once it is complete.
#pragma once

#include <fstream>
#include <string>
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

class OutputFile : public std::ofstream {
public:
    OutputFile() = default;
    // Opens the named file in the output folder, emptied.
    OutputFile(const OutputFolder& folder, const std::string& name);
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Opens the named file in the output folder, emptied (a file already open is closed first).
    void openFile(const OutputFolder& folder, const std::string& name);
    // The path the file was opened at ("" before any).
    const std::string& path() const { return path_; }
    // Flushes, then ends the experiment with a message naming the file and the system's reason
    // when the file could not be opened or anything written to it could not be stored.
    void verify();

private:
    std::string path_;
    int openError_ = 0;
};

// A report written under a temporary name beside its final one and renamed when it is complete,
// so that a cut file never passes for a whole one. Without commit() the temporary file is
// removed.
class AtomicOutputFile : public std::ofstream {
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
    std::string final_;
    std::string temporary_;
    int openError_ = 0;
    bool committed_ = false;
};

// "cannot write FILE: REASON", the plain text of a failed output file.
std::string cannotWrite(const std::string& path, int error);

}  // namespace Valdrin
