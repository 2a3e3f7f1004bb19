#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vesperkeep {

// The settings file opened for reading, closed when the object goes. Each OS has its own file.
class TSettingsFile {
public:
    // Throws EInOutError with the short text for the failure ("File not found", "Access denied",
    // otherwise the system's own text).
    explicit TSettingsFile(const std::string& fileName);
    ~TSettingsFile();
    TSettingsFile(const TSettingsFile&) = delete;
    TSettingsFile& operator=(const TSettingsFile&) = delete;

    // Reads up to size bytes into buffer; returns 0 at the end of the file. Throws EInOutError.
    std::size_t Read(char* buffer, std::size_t size);

private:
    std::intptr_t Handle;
};

} // namespace vesperkeep
