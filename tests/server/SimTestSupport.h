#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>

namespace hestio::sim::test {

/// A scratch folder removed with everything in it when the test ends.
class ScratchFolder {
public:
    ScratchFolder()
    {
        std::random_device random;
        m_path = std::filesystem::temp_directory_path()
            / ("hestio-hub-test-" + std::to_string(random()) + std::to_string(random()));
        std::filesystem::create_directories(m_path);
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    const std::filesystem::path& path() const { return m_path; }
    std::string file(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

/// Time that moves only when a test says so.
class ManualTime {
public:
    explicit ManualTime(int64_t startMs)
        : m_now(startMs)
    {
    }
    int64_t now() const { return m_now.load(); }
    void advance(int64_t ms) { m_now += ms; }
    auto function()
    {
        return [this] { return now(); };
    }

private:
    std::atomic<int64_t> m_now;
};

/// 2026-12-02 15:30:00 UTC, a Wednesday: 10:30 in New York.
constexpr int64_t kTestStartMs = 1796225400000;

/// Few iterations keep sign-in quick in tests; the format is the same.
constexpr int kTestPasswordIterations = 1000;

}
