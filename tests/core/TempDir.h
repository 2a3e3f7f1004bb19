#pragma once

#include <filesystem>
#include <string>

namespace vesperkeep::test {

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TTempDir {
public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    const std::filesystem::path& Path() const { return Root; }
    std::filesystem::path Write(const std::string& name, const std::string& bytes) const;

private:
    std::filesystem::path Root;
};

// Makes a folder the working directory for as long as the object lives.
class TWorkingDirectory {
public:
    explicit TWorkingDirectory(const std::filesystem::path& folder);
    ~TWorkingDirectory();
    TWorkingDirectory(const TWorkingDirectory&) = delete;
    TWorkingDirectory& operator=(const TWorkingDirectory&) = delete;

private:
    std::filesystem::path Previous;
};

} // namespace vesperkeep::test
