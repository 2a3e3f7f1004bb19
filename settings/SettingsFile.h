#pragma once

#include "ByteSource.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace vesperkeep {

// The settings file opened for reading, closed when the object goes. Each OS has its own file.
// On POSIX systems a file that another user could change is refused before anything is read
// (see TrustedFilePosix.h); on Windows the file is opened as it is.
class TSettingsFile final : public TByteSource {
public:
    // Throws EInOutError with the short text for the failure ("File not found", "Access denied",
    // "dbbkcfg.txt is not a regular file", "dbbkcfg.txt may be changed by other users",
    // otherwise the system's own text).
    explicit TSettingsFile(const std::string& fileName);
    ~TSettingsFile();
    TSettingsFile(const TSettingsFile&) = delete;
    TSettingsFile& operator=(const TSettingsFile&) = delete;

    // Throws EInOutError.
    std::size_t Read(char* buffer, std::size_t size) override;

private:
    std::intptr_t Handle;
};

} // namespace vesperkeep
