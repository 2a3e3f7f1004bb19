#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vesperkeep::test {

// What one started launch recorder wrote down about itself.
struct TRecord {
    std::string Cwd, Fds, Mark, CommandLine;
    std::vector<std::string> Args;
};

// Waits, for ten seconds at most, until `count` recorders have written their records into the
// folder, and returns the records found; a shortfall is a test failure.
std::vector<TRecord> WaitForRecords(const std::filesystem::path& folder, std::size_t count);

// Whether a recorder started with --sleep-ms has ended, at once or after waiting up to ten
// seconds.
bool RecorderDone(const std::filesystem::path& folder);
bool WaitForRecorderDone(const std::filesystem::path& folder);

} // namespace vesperkeep::test
