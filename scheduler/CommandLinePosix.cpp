#include "CommandLine.h"

#include "settings/Errors.h"

#include <glib.h>

#include <memory>
#include <string_view>
#include <vector>

namespace vesperkeep {

namespace {

struct TStrvDeleter {
    void operator()(gchar** strv) const { g_strfreev(strv); }
};
struct TGFreeDeleter {
    void operator()(gchar* text) const { g_free(text); }
};
using TOwnedStrv = std::unique_ptr<gchar*, TStrvDeleter>;
using TOwnedText = std::unique_ptr<gchar, TGFreeDeleter>;

bool EndsWithExe(std::string_view name) {
    if (name.size() <= 4)
        return false;
    const std::string_view suffix = name.substr(name.size() - 4);
    return g_ascii_strcasecmp(std::string(suffix).c_str(), ".exe") == 0;
}

// The program's path: a name with a slash as it stands, any other on PATH. A Windows-style name
// such as "7z.exe" that is not found is looked for without its suffix. Empty when not found.
std::string FindProgram(const std::string& name) {
    const auto locate = [](const std::string& candidate) -> std::string {
        if (candidate.find('/') != std::string::npos)
            return g_file_test(candidate.c_str(), G_FILE_TEST_IS_EXECUTABLE) ? candidate : "";
        const TOwnedText found(g_find_program_in_path(candidate.c_str()));
        return found ? std::string(found.get()) : std::string();
    };
    std::string path = locate(name);
    if (path.empty() && EndsWithExe(name))
        path = locate(name.substr(0, name.size() - 4));
    return path;
}

} // namespace

void RunCommandLine(const std::string& commandLine) {
    // Split like a shell splits words, with quotes and backslashes, but with no expansion, no
    // globbing and no operators.
    gchar** words = nullptr;
    GError* error = nullptr;
    if (!g_shell_parse_argv(commandLine.c_str(), nullptr, &words, &error)) {
        const std::string message = error ? error->message : "Invalid command line";
        g_clear_error(&error);
        throw EConvertError(message);
    }
    const TOwnedStrv argv(words);

    std::string program = FindProgram(argv.get()[0]);
    if (program.empty())
        return; // like a launcher that is not examined: a missing program goes unnoticed

    // Without G_SPAWN_DO_NOT_REAP_CHILD GLib starts the program through an intermediate child, so
    // it is reparented at once and never left behind as a zombie; descriptors other than the
    // three standard ones are closed in the child.
    std::vector<gchar*> spawnArgv(argv.get(), argv.get() + g_strv_length(argv.get()) + 1);
    spawnArgv[0] = program.data();
    g_spawn_async(nullptr, spawnArgv.data(), nullptr, G_SPAWN_CHILD_INHERITS_STDIN, nullptr,
                  nullptr, nullptr, nullptr);
}

} // namespace vesperkeep
