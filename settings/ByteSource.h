#pragma once

#include <cstddef>

namespace vesperkeep {

// Where the bytes of the settings come from: the settings file, or memory where a test or a fuzz
// target hands them over.
class TByteSource {
public:
    virtual ~TByteSource() = default;

    // Reads up to size bytes into buffer; returns 0 at the end, and only there.
    virtual std::size_t Read(char* buffer, std::size_t size) = 0;
};

} // namespace vesperkeep
