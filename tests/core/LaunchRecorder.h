#pragma once

#include <string>
#include <utility>
#include <vector>

namespace vesperkeep::test {

// What the stand-in program finds out about itself through its own system's calls.
std::string RecorderProcessId();
std::string RecorderWorkingDirectory();
// key=value facts for the record, gathered before the record is opened (POSIX: parent and open
// descriptors; Windows: the command line exactly as the program got it).
std::vector<std::pair<std::string, std::string>> RecorderSystemFacts();

} // namespace vesperkeep::test
