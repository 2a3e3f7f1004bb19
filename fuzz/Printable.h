#pragma once

#include <cstdio>
#include <string>

namespace vesperkeep::fuzz {

// The bytes with everything outside printable ASCII written as \xNN, for reports of a finding.
inline std::string Printable(const std::string& bytes) {
    std::string text;
    for (const unsigned char c : bytes) {
        if (c >= 32 && c < 127 && c != '\\') {
            text += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            text += escaped;
        }
    }
    return text;
}

} // namespace vesperkeep::fuzz
