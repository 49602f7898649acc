#pragma once

#include <filesystem>
#include <string>

namespace hestio::test {

/// A fresh, empty scratch folder, removed with everything in it at the end
/// of the scope.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    /// `relative` inside the folder.
    std::filesystem::path operator/(const std::string& relative) const { return m_path / relative; }

    /// Writes `contents` to `relative` (creating folders on the way) and
    /// returns the full path.
    std::filesystem::path write(const std::string& relative, const std::string& contents) const;
    /// The contents of `relative`, empty when it cannot be read.
    std::string read(const std::string& relative) const;

private:
    std::filesystem::path m_path;
};

/// Sets (or, with no value, unsets) an environment variable for the scope's
/// lifetime and restores the old value afterwards.
class ScopedEnvironment {
public:
    ScopedEnvironment(std::string name, const char* value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string m_name;
    bool m_hadValue { false };
    std::string m_oldValue;
};

}
