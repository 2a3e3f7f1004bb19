#include "SettingsFile.h"

#include "TrustedFilePosix.h"

#include <cerrno>
#include <unistd.h>

namespace vesperkeep {

TSettingsFile::TSettingsFile(const std::string& fileName)
    : Handle(OpenTrustedFile(fileName, TSystemUserAccounts())) {}

TSettingsFile::~TSettingsFile() {
    ::close(static_cast<int>(Handle));
}

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
