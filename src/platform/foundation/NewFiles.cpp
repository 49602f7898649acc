#include "platform/foundation/NewFiles.h"

#include "platform/foundation/PrivateFiles.h"
#include "platform/foundation/WriteAll.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace hestio::platform {

namespace {

    namespace fs = std::filesystem;

    /// Tried names per set before giving up (a folder holding thousands of
    /// copies of one day's export is beyond what a person means to keep).
    constexpr int largestNumber = 9999;

    /// A hidden file in the folder holding `contents`, flushed to the disk;
    /// none (errno set) when it cannot be made whole.
    std::optional<fs::path> writeHiddenFile(const fs::path& folder, const std::string& name, std::string_view contents)
    {
        static std::atomic<unsigned> counter = 0;
        for (int attempt = 0; attempt < 100; ++attempt) {
            fs::path hidden
                = folder / ("." + name + "." + std::to_string(::getpid()) + "-" + std::to_string(++counter) + ".part");
            // The household's data: the owner's only. O_EXCL makes a new file
            // and never opens one (or follows a link) planted at the name.
            int descriptor = ::open(hidden.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (descriptor < 0) {
                if (errno == EEXIST)
                    continue;
                return std::nullopt;
            }
            bool written = writeAll(descriptor, contents) && ::fsync(descriptor) == 0;
            int error = errno;
            if (::close(descriptor) != 0 && written) {
                written = false;
                error = errno;
            }
            if (!written) {
                ::unlink(hidden.c_str());
                errno = error;
                return std::nullopt;
            }
            return hidden;
        }
        errno = EEXIST;
        return std::nullopt;
    }

    /// Gives `from` the name `to` unless `to` exists (errno EEXIST then).
    bool renameWithoutReplacing(const fs::path& from, const fs::path& to)
    {
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
            return true;
        if (errno != EINVAL && errno != ENOSYS)
            return false;
        // A file system without the flag: a hard link fails on an existing
        // name just as surely.
        if (::link(from.c_str(), to.c_str()) == 0) {
            ::unlink(from.c_str());
            return true;
        }
        if (errno != EPERM && errno != EOPNOTSUPP)
            return false;
        // Nor with links (FAT on a stick): look, then rename.
        struct stat status { };
        if (::lstat(to.c_str(), &status) == 0) {
            errno = EEXIST;
            return false;
        }
        return ::rename(from.c_str(), to.c_str()) == 0;
    }

    bool anyExists(const fs::path& folder, const std::string& stem, const std::vector<NewFile>& files)
    {
        for (const auto& file : files) {
            struct stat status { };
            if (::lstat((folder / (stem + file.extension)).c_str(), &status) == 0)
                return true;
        }
        return false;
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

std::string numberedStem(const std::string& stem, int number)
{
    return number <= 1 ? stem : stem + " (" + std::to_string(number) + ")";
}

NewFilesResult writeNewFiles(const fs::path& folder, const std::string& stem, const std::vector<NewFile>& files)
{
    NewFilesResult result;
    if (files.empty())
        return result;
    // Made owner-only; one the user made or opened up is left as it is.
    if (!makePrivateFolder(folder, ExistingFolder::Keep)) {
        result.failure = FileWriteFailure { FileWriteFailure::Step::CreateFolder, folder, errno };
        return result;
    }

    std::vector<fs::path> hidden;
    auto removeHidden = [&] {
        for (const auto& path : hidden)
            ::unlink(path.c_str());
    };
    for (const auto& file : files) {
        auto written = writeHiddenFile(folder, stem + file.extension, file.contents);
        if (!written) {
            int error = errno;
            removeHidden();
            result.failure
                = FileWriteFailure { FileWriteFailure::Step::Write, folder / (stem + file.extension), error };
            return result;
        }
        hidden.push_back(*written);
    }

    for (int number = 1; number <= largestNumber; ++number) {
        std::string candidate = numberedStem(stem, number);
        if (anyExists(folder, candidate, files))
            continue;
        std::vector<fs::path> named;
        int error = 0;
        for (std::size_t i = 0; i < files.size(); ++i) {
            fs::path target = folder / (candidate + files[i].extension);
            if (!renameWithoutReplacing(hidden[i], target)) {
                error = errno;
                break;
            }
            named.push_back(target);
        }
        if (named.size() == files.size()) {
            syncFolder(folder);
            result.paths = std::move(named);
            return result;
        }
        // Taken meanwhile (or a failure): the names given so far go back,
        // so the set stays together under the next free stem.
        for (std::size_t i = 0; i < named.size(); ++i)
            if (::rename(named[i].c_str(), hidden[i].c_str()) != 0)
                ::unlink(named[i].c_str());
        if (error != EEXIST) {
            removeHidden();
            result.failure = FileWriteFailure { FileWriteFailure::Step::Write,
                folder / (candidate + files[named.size()].extension), error };
            return result;
        }
    }
    removeHidden();
    result.failure
        = FileWriteFailure { FileWriteFailure::Step::Write, folder / (stem + files.front().extension), EEXIST };
    return result;
}

}
