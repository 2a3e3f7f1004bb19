#include "CommandLine.h"

#include <windows.h>

namespace vesperkeep {

void RunCommandLine(const std::string& commandLine) {
    // The system splits the line, finds the program by its usual search and returns without
    // waiting; a program that does not start goes unnoticed.
    WinExec(commandLine.c_str(), SW_SHOWNORMAL);
}

} // namespace vesperkeep
