// The one way to end the process: flush the standard streams, close every owned output
// file, then exit with status 0 (the program's exit status in every case).
#pragma once

#include <fstream>
#include <string>
#include <string_view>

namespace Valdrin {

[[noreturn]] void fatal();

// Writes message to standard error, then ends the process as above.
[[noreturn]] void fatal(std::string_view message);

// An output file that the process owns: it is flushed and closed by fatal() too, so a log
// keeps everything written to it even when an error ends the run.
class OutputFile : public std::ofstream {
public:
    OutputFile();
    explicit OutputFile(const std::string& path);
    ~OutputFile() override;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
};

}  // namespace Valdrin
