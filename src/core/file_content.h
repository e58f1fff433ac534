// A file's whole content, read in one piece.
#pragma once

#include <string>

namespace Valdrin {

// Reads the whole file into content; false (with errno set, EIO when the system gave no reason)
// when it cannot be opened or read, content then unchanged.
bool readFileContent(const std::string& path, std::string& content);

// "cannot read FILE: REASON", the one wording of an input that cannot be read (error: an errno
// value; 0 when the system gave none).
std::string cannotRead(const std::string& path, int error);

}  // namespace Valdrin
