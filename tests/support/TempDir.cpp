#include "support/TempDir.h"

#include "platform/foundation/DiskWriter.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace hestio::test {

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "hestio-test-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data()))
        throw std::runtime_error("cannot make a scratch folder under " + pattern);
    m_path = buffer.data();
}

TempDir::~TempDir()
{
    // What the app queued for the folder is written (or fails) first: the
    // writer must not make the folder again after it is gone.
    platform::DiskWriter::settleShared();
    std::error_code error;
    std::filesystem::remove_all(m_path, error);
}

std::filesystem::path TempDir::write(const std::string& relative, const std::string& contents) const
{
    auto path = m_path / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
    return path;
}

std::string TempDir::read(const std::string& relative) const
{
    std::ifstream in(m_path / relative, std::ios::binary);
    std::ostringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

ScopedEnvironment::ScopedEnvironment(std::string name, const char* value)
    : m_name(std::move(name))
{
    if (const char* old = std::getenv(m_name.c_str())) {
        m_hadValue = true;
        m_oldValue = old;
    }
    if (value)
        setenv(m_name.c_str(), value, 1);
    else
        unsetenv(m_name.c_str());
}

ScopedEnvironment::~ScopedEnvironment()
{
    if (m_hadValue)
        setenv(m_name.c_str(), m_oldValue.c_str(), 1);
    else
        unsetenv(m_name.c_str());
}

}
