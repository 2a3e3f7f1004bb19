#pragma once

#include <string>

namespace vesperkeep {

// Starts a whole command line and returns at once, without waiting for the program and without
// examining whether it started. The program inherits the working directory and environment and
// outlives this process. Throws EConvertError for a line that cannot be split into words.
void RunCommandLine(const std::string& commandLine);

// The schedule's way of starting command lines, so tests can record them instead.
class TLauncher {
public:
    virtual ~TLauncher() = default;
    virtual void RunCommandLine(const std::string& commandLine) = 0;
};

class TSystemLauncher final : public TLauncher {
public:
    void RunCommandLine(const std::string& commandLine) override {
        vesperkeep::RunCommandLine(commandLine);
    }
};

} // namespace vesperkeep
