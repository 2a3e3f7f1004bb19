#pragma once

#include <stdexcept>
#include <string>

namespace vesperkeep {

// A text that is not a time of day, or any other failed conversion.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A settings file that could not be opened, trusted or read; the message is the short text the
// operator sees ("File not found", "Access denied", ...).
class EInOutError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace vesperkeep
