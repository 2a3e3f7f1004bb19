#include "SettingsFile.h"

#include "Errors.h"

#include <windows.h>

#include <algorithm>
#include <string>

namespace vesperkeep {

namespace {

HANDLE AsHandle(std::intptr_t value) {
    return reinterpret_cast<HANDLE>(value);
}

// The system's own text for an error, without the line end and the full stop it ends with, so
// the error display can add its own.
std::string SystemErrorText(DWORD error) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length > 0 ? std::string(text, length) : std::string();
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == '.' || message.back() == ' '))
        message.pop_back();
    return message.empty() ? "I/O error " + std::to_string(error) : message;
}

[[noreturn]] void ThrowFileError(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
        throw EInOutError("File not found");
    case ERROR_ACCESS_DENIED:
        throw EInOutError("Access denied");
    default:
        throw EInOutError(SystemErrorText(error));
    }
}

} // namespace

TSettingsFile::TSettingsFile(const std::string& fileName) {
    // A plain open for reading: others may go on reading and writing the file meanwhile.
    const HANDLE file =
        CreateFileA(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        ThrowFileError(GetLastError());
    Handle = reinterpret_cast<std::intptr_t>(file);
}

TSettingsFile::~TSettingsFile() {
    CloseHandle(AsHandle(Handle));
}

std::size_t TSettingsFile::Read(char* buffer, std::size_t size) {
    // One ReadFile takes at most a DWORD's worth; the caller asks again for the rest.
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    DWORD count = 0;
    if (!ReadFile(AsHandle(Handle), buffer, wanted, &count, nullptr))
        ThrowFileError(GetLastError());
    return count;
}

} // namespace vesperkeep
