#include "SettingsFile.h"

#include "Errors.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace vesperkeep {

namespace {

[[noreturn]] void ThrowFileError(int error) {
    switch (error) {
    case ENOENT:
        throw EInOutError("File not found");
    case EACCES:
    case EPERM:
        throw EInOutError("Access denied");
    default:
        throw EInOutError(std::strerror(error));
    }
}

} // namespace

TSettingsFile::TSettingsFile(const std::string& fileName) {
    // Non-blocking, so that a FIFO in place of the file cannot hold up the open.
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        ThrowFileError(errno);
    Handle = fd;
}

TSettingsFile::~TSettingsFile() { ::close(static_cast<int>(Handle)); }

std::size_t TSettingsFile::Read(char* buffer, std::size_t size) {
    for (;;) {
        const ssize_t count = ::read(static_cast<int>(Handle), buffer, size);
        if (count >= 0)
            return static_cast<std::size_t>(count);
        if (errno != EINTR)
            ThrowFileError(errno);
    }
}

} // namespace vesperkeep
