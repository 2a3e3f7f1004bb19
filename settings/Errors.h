#pragma once

#include <memory>
#include <stdexcept>
#include <string>

namespace vesperkeep {

// The base of the core's errors. what() is a C string and so ends at the first NUL, which a text
// from the settings file may hold; Message() is the whole text and is what the operator sees.
class ECoreError : public std::runtime_error {
public:
    explicit ECoreError(const std::string& message)
        : std::runtime_error(message), Whole(std::make_shared<const std::string>(message)) {}

    const std::string& Message() const noexcept { return *Whole; }

private:
    std::shared_ptr<const std::string> Whole; // shared, so that copying the error cannot throw
};

// A text that is not a time of day, or any other failed conversion.
class EConvertError : public ECoreError {
public:
    using ECoreError::ECoreError;
};

// A settings file that could not be opened, trusted or read; the message is the short text the
// operator sees ("File not found", "Access denied", ...).
class EInOutError : public ECoreError {
public:
    using ECoreError::ECoreError;
};

} // namespace vesperkeep
