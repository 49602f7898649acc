#include "net/ReplyCache.h"

#include "platform/foundation/DiskWriter.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/PrivateFiles.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <sstream>
#include <sys/stat.h>
#include <vector>

namespace hestio {

using platform::Error;
using platform::Result;
using platform::Status;

namespace {

    namespace fs = std::filesystem;

    constexpr std::string_view kMagic = "hestio-reply";
    /// 2 names the owner; replies of format 1 (without one) are not shown.
    constexpr int kFormat = 2;
    constexpr std::string_view kSuffix = ".reply";
    /// Longer than any header written: the owner is a safe file name.
    constexpr std::size_t kLongestHeader = 320;

    std::uint64_t checksumOf(std::string_view bytes)
    {
        return platform::hash64(bytes);
    }

    std::string headerFor(std::string_view body, platform::Date fetchedAt, const std::string& owner)
    {
        char line[96];
        std::snprintf(line, sizeof line, "%.*s %d %.0f %zu %016" PRIx64 " ", int(kMagic.size()), kMagic.data(), kFormat,
            fetchedAt.timeIntervalSince1970() * 1000, body.size(), checksumOf(body));
        return line + owner + "\n";
    }

    struct Header {
        double fetchedAtMilliseconds { 0 };
        std::size_t length { 0 };
        std::uint64_t checksum { 0 };
        std::string owner;
    };

    Result<Header> parseHeader(std::string_view line)
    {
        std::istringstream in { std::string(line) };
        std::string magic;
        int format = 0;
        Header header;
        std::string checksum;
        if (!(in >> magic >> format) || magic != kMagic)
            return Error("not a cached reply");
        if (format != kFormat)
            return Error("format " + std::to_string(format) + " is not known");
        if (!(in >> header.fetchedAtMilliseconds >> header.length >> checksum >> header.owner))
            return Error("not a cached reply");
        if (checksum.size() != 16 || checksum.find_first_not_of("0123456789abcdef") != std::string::npos)
            return Error("its checksum is unreadable");
        header.checksum = std::stoull(checksum, nullptr, 16);
        return header;
    }

    /// The header line of `contents`; an error when there is none.
    Result<std::string_view> headerLineOf(std::string_view contents)
    {
        std::size_t lineEnd = contents.find('\n');
        if (lineEnd == std::string_view::npos || lineEnd >= kLongestHeader)
            return Error("its header is cut short");
        return contents.substr(0, lineEnd);
    }

    /// Whether `file` is a kept reply by its name; anything else in the
    /// folder is not this cache's to read, count or delete.
    bool isReplyFile(const fs::path& file)
    {
        std::string name = file.filename().string();
        return name.size() > kSuffix.size() && name.ends_with(kSuffix) && name.front() != '.';
    }

    bool isGraphEntry(const fs::path& file)
    {
        return file.filename().string().starts_with("graph");
    }

}

ReplyCache::ReplyCache(const fs::path& cacheRoot, std::string_view user)
    : m_root(cacheRoot)
    , m_folder(cacheRoot / folderNameFor(user))
    , m_owner(platform::safeFileName(user))
{
}

std::string ReplyCache::folderNameFor(std::string_view name)
{
    return platform::safeFileName(name);
}

fs::path ReplyCache::fileFor(std::string_view key) const
{
    return m_folder / (platform::safeFileName(key) + std::string(kSuffix));
}

std::optional<platform::Error> ReplyCache::refuseLarger(const fs::path& file, std::size_t size)
{
    if (size <= maxEntryBytes)
        return std::nullopt;
    // Keeping the older copy would show, at the next launch, a list older
    // than the one the user has already seen.
    platform::DiskWriter::shared().remove(file);
    return Error("a reply of " + std::to_string(size) + " bytes is larger than the cache keeps");
}

Status ReplyCache::store(std::string_view key, std::string_view body, platform::Date fetchedAt, Done done)
{
    fs::path file = fileFor(key);
    if (auto refused = refuseLarger(file, body.size()))
        return std::move(*refused);
    std::string contents = headerFor(body, fetchedAt, m_owner);
    contents.append(body);
    queueWrite(key, file, std::move(contents), std::move(done));
    return {};
}

Status ReplyCache::storeOwned(std::string_view key, std::string&& body, platform::Date fetchedAt, Done done)
{
    fs::path file = fileFor(key);
    if (auto refused = refuseLarger(file, body.size()))
        return std::move(*refused);
    std::string contents = std::move(body);
    contents.insert(0, headerFor(contents, fetchedAt, m_owner));
    queueWrite(key, file, std::move(contents), std::move(done));
    return {};
}

void ReplyCache::queueWrite(std::string_view key, const fs::path& file, std::string contents, Done done)
{
    // On the writer's thread: nothing of this object is used there, as it
    // may be gone by then.
    auto write = [root = m_root, folder = m_folder, file, beforeRename = m_beforeRename, swept = m_swept](
                     const std::string& bytes) {
        // The cache root is this program's alone; the user's folder in it too.
        for (const fs::path* each : { &root, &folder }) {
            if (Status made = platform::makePrivateFolder(*each, platform::ExistingFolder::Tighten); !made)
                return made;
        }
        if (!swept->exchange(true))
            removeStrayTemporaries(folder);
        if (Status written = platform::replaceFile(file, bytes, beforeRename); !written)
            return written;
        evictBeyondTotal(folder, file);
        return Status();
    };
    platform::DiskWriter::shared().write(
        file, std::move(contents),
        [key = std::string(key), done = std::move(done)](const Status& status) {
            if (!status)
                hestio::log("Could not keep the reply of " + key + ": " + status.error().message());
            if (done)
                done(status);
        },
        std::move(write));
}

void ReplyCache::removeStrayTemporaries(const fs::path& folder)
{
    std::error_code code;
    for (auto it = fs::directory_iterator(folder, code); !code && it != fs::directory_iterator(); it.increment(code)) {
        std::string name = it->path().filename().string();
        if (name.starts_with(".") && name.find(platform::temporaryMark) != std::string::npos) {
            std::error_code ignored;
            fs::remove(it->path(), ignored);
        }
    }
}

Result<CachedReply> ReplyCache::load(std::string_view key) const
{
    fs::path file = fileFor(key);
    auto damaged = [&](const std::string& why) -> Result<CachedReply> {
        hestio::log("Ignoring the damaged cached reply " + file.string() + ": " + why);
        platform::DiskWriter::shared().remove(file);
        return Error("the reply kept for " + std::string(key) + " is damaged: " + why);
    };
    // A reply still on its way to the disk is the one kept.
    auto read = platform::DiskWriter::shared().read(file, kLongestHeader + maxEntryBytes);
    if (!read)
        return damaged(read.error().message());
    if (!*read)
        return Error("no reply kept for " + std::string(key));
    const platform::FileBytes& contents = **read;
    if (contents.size > contents.bytes.size())
        return damaged("it is larger than any reply kept");
    Result<std::string_view> line = headerLineOf(contents.bytes);
    if (!line)
        return damaged(line.error().message());
    Result<Header> header = parseHeader(*line);
    if (!header)
        return damaged(header.error().message());
    if (header->owner != m_owner)
        return damaged("it belongs to another user");
    std::string_view body = std::string_view(contents.bytes).substr(line->size() + 1);
    if (body.size() != header->length)
        return damaged("it holds " + std::to_string(body.size()) + " of " + std::to_string(header->length) + " bytes");
    if (checksumOf(body) != header->checksum)
        return damaged("its checksum does not match");
    return CachedReply { std::string(body), platform::Date::fromMilliseconds(header->fetchedAtMilliseconds) };
}

void ReplyCache::removeAll(Done done)
{
    // After what is being written now; what is only queued is not written.
    platform::DiskWriter::shared().removeFolder(m_folder, std::move(done));
}

std::size_t ReplyCache::totalBytes() const
{
    std::size_t total = 0;
    std::error_code code;
    for (auto it = fs::directory_iterator(m_folder, code); !code && it != fs::directory_iterator();
         it.increment(code)) {
        struct stat status { };
        if (isReplyFile(it->path()) && ::lstat(it->path().c_str(), &status) == 0 && S_ISREG(status.st_mode))
            total += static_cast<std::size_t>(status.st_size);
    }
    return total;
}

void ReplyCache::evictBeyondTotal(const fs::path& folder, const fs::path& keep)
{
    struct Entry {
        fs::path file;
        std::size_t size;
        bool graph;
        double fetchedAt; // 0 when unreadable: such a file goes first
    };
    std::vector<Entry> entries;
    std::size_t total = 0;
    std::error_code code;
    for (auto it = fs::directory_iterator(folder, code); !code && it != fs::directory_iterator(); it.increment(code)) {
        if (!isReplyFile(it->path()))
            continue;
        // Only the header is read: the order needs no more.
        auto read = platform::readPrivateFile(it->path(), kLongestHeader);
        std::size_t size = read && *read ? (*read)->size : 0;
        double fetchedAt = 0;
        if (read && *read) {
            Result<std::string_view> line = headerLineOf((*read)->bytes);
            Result<Header> header = line ? parseHeader(*line) : Result<Header>(line.error());
            if (header)
                fetchedAt = header->fetchedAtMilliseconds;
        }
        total += size;
        entries.push_back({ it->path(), size, isGraphEntry(it->path()), fetchedAt });
    }
    if (total <= maxTotalBytes)
        return;
    // Graph weeks are cheap to fetch again and rarely all looked at; the
    // lists are what the screens show at launch.
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (a.graph != b.graph)
            return a.graph;
        return a.fetchedAt < b.fetchedAt;
    });
    for (const Entry& entry : entries) {
        if (total <= maxTotalBytes)
            break;
        if (entry.file == keep)
            continue;
        std::error_code ignored;
        if (std::filesystem::remove(entry.file, ignored))
            total -= entry.size;
    }
}

}
