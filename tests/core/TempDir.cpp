#include "TempDir.h"

#include <fstream>
#include <random>
#include <stdexcept>

namespace vesperkeep::test {

TTempDir::TTempDir() {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = std::filesystem::temp_directory_path() /
                         ("vesperkeep-test-" + std::to_string(random()));
        if (std::filesystem::create_directory(candidate)) {
            Root = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TTempDir::~TTempDir() {
    std::error_code ignored;
    std::filesystem::permissions(Root, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(Root, ignored);
}

std::filesystem::path TTempDir::Write(const std::string& name, const std::string& bytes) const {
    const auto path = Root / name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
    return path;
}

TWorkingDirectory::TWorkingDirectory(const std::filesystem::path& folder)
    : Previous(std::filesystem::current_path()) {
    std::filesystem::current_path(folder);
}

TWorkingDirectory::~TWorkingDirectory() {
    std::error_code ignored;
    std::filesystem::current_path(Previous, ignored);
}

} // namespace vesperkeep::test
