#include "platform/foundation/PrivateFiles.h"

#include "platform/foundation/WriteAll.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace hestio::platform {

namespace {

    namespace fs = std::filesystem;

    bool isPlain(unsigned char c)
    {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    }

    std::string failure(const std::string& what, const fs::path& path, int error)
    {
        return what + " " + path.string() + ": " + std::strerror(error);
    }

    void syncFolder(const fs::path& folder)
    {
        int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (descriptor >= 0) {
            ::fsync(descriptor);
            ::close(descriptor);
        }
    }

}

std::uint64_t hash64(std::string_view bytes)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char byte : bytes) {
        hash ^= byte;
        hash *= 1099511628211ull;
    }
    return hash;
}

std::string safeFileName(std::string_view name)
{
    std::string escaped;
    for (unsigned char c : name) {
        if (isPlain(c)) {
            escaped += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            escaped += hex;
        }
    }
    if (escaped.empty())
        return "%"; // an empty name still gets a file of its own, never the folder itself
    if (escaped.size() > longestFileNameStem) {
        char hash[20];
        std::snprintf(hash, sizeof hash, "~%016" PRIx64, hash64(name));
        escaped = escaped.substr(0, longestFileNameStem) + hash;
    }
    return escaped;
}

Status makePrivateFolder(const fs::path& folder, ExistingFolder existing)
{
    auto failed = [&](const char* what, int error) -> Status {
        Status status = Error(failure(what, folder, error));
        errno = error;
        return status;
    };
    std::error_code code;
    if (folder.has_parent_path() && folder.parent_path() != folder) {
        fs::create_directories(folder.parent_path(), code);
        if (code)
            return failed("cannot make the folder of", code.value());
    }
    if (::mkdir(folder.c_str(), 0700) == 0)
        return {}; // the umask may only take permissions away, and 0700 is all the owner's
    int error = errno;
    struct stat status { };
    if (error != EEXIST)
        return failed("cannot make", error);
    if (::stat(folder.c_str(), &status) != 0)
        return failed("cannot make", errno);
    if (!S_ISDIR(status.st_mode))
        return failed("cannot make", ENOTDIR);
    if (existing == ExistingFolder::Tighten && (status.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0)
        return failed("cannot make private", errno);
    return {};
}

Status replaceFile(const fs::path& file, std::string_view contents, const std::function<void()>& beforeRename)
{
    fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
    std::string pattern = (folder / ("." + file.filename().string() + std::string(temporaryMark) + "XXXXXX")).string();
    std::vector<char> temporary(pattern.begin(), pattern.end());
    temporary.push_back('\0');
    // mkstemp makes a new file (O_EXCL) of mode 0600: nothing planted at the
    // name is opened, and nobody else can read the secret while it is written.
    int descriptor = ::mkstemp(temporary.data());
    if (descriptor < 0)
        return Error(failure("cannot write", file, errno));
    bool written = writeAll(descriptor, contents) && ::fsync(descriptor) == 0;
    int error = errno;
    if (::close(descriptor) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written && beforeRename)
        beforeRename();
    if (!written || ::rename(temporary.data(), file.c_str()) != 0) {
        if (written)
            error = errno;
        ::unlink(temporary.data());
        return Error(failure("cannot write", file, error));
    }
    // The rename itself reaches the disk too.
    syncFolder(folder);
    return {};
}

Result<std::optional<FileBytes>> readPrivateFile(const fs::path& file, std::size_t limit)
{
    // Non-blocking: opening a pipe for reading would otherwise wait for a
    // writer for ever. No link is followed: what stands at the name is read.
    int descriptor = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
    if (descriptor < 0) {
        if (errno == ENOENT)
            return std::optional<FileBytes>();
        if (errno == ELOOP)
            return Error("it is a symbolic link");
        return Error(std::strerror(errno));
    }
    struct Closer {
        int descriptor;
        ~Closer() { ::close(descriptor); }
    } closer { descriptor };
    struct stat status { };
    if (::fstat(descriptor, &status) != 0)
        return Error(std::strerror(errno));
    if (!S_ISREG(status.st_mode))
        return Error("it is not a regular file");
    FileBytes read;
    read.size = static_cast<std::size_t>(status.st_size);
    read.bytes.resize(std::min(limit, read.size));
    std::size_t at = 0;
    while (at < read.bytes.size()) {
        ssize_t got = ::read(descriptor, read.bytes.data() + at, read.bytes.size() - at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return Error(std::strerror(errno));
        if (got == 0)
            break; // cut short while being read
        at += static_cast<std::size_t>(got);
    }
    read.bytes.resize(at);
    return std::optional<FileBytes>(std::move(read));
}

}
