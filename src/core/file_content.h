// A file's whole content, read in one piece.
#pragma once

#include <string>

namespace Valdrin {

// Reads the whole file into content; false (with errno set, EIO when the system gave no reason)
// when it cannot be opened or read, content then unchanged.
bool readFileContent(const std::string& path, std::string& content);

}  // namespace Valdrin
