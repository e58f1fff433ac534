// A file's whole content, read in one piece.
#include "core/file_content.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace Valdrin {

bool readFileContent(const std::string& path, std::string& content) {
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) {
        if (errno == 0) errno = EIO;
        return false;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad()) {
        if (errno == 0) errno = EIO;
        return false;
    }
    content = bytes.str();
    return true;
}

std::string cannotRead(const std::string& path, int error) {
    return "cannot read " + path + ": " + std::strerror(error != 0 ? error : EIO);
}

}  // namespace Valdrin
