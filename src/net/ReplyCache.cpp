#include "net/ReplyCache.h"

#include "platform/foundation/Log.h"
#include "platform/foundation/WriteAll.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace hestio {

using platform::Error;
using platform::Result;
using platform::Status;

namespace {

    constexpr std::string_view kMagic = "hestio-reply";
    constexpr int kFormat = 1;
    constexpr std::string_view kSuffix = ".reply";
    constexpr std::string_view kTemporaryMark = ".tmp-";
    /// Longest escaped name kept whole; longer ones are cut and hashed so the
    /// file name stays under the usual 255-byte limit with its suffixes.
    constexpr std::size_t kLongestName = 160;

    std::uint64_t checksumOf(std::string_view bytes)
    {
        std::uint64_t hash = 14695981039346656037ull; // FNV-1a, 64 bits
        for (unsigned char byte : bytes) {
            hash ^= byte;
            hash *= 1099511628211ull;
        }
        return hash;
    }

    std::string headerFor(std::string_view body, platform::Date fetchedAt)
    {
        char line[96];
        std::snprintf(line, sizeof line, "%.*s %d %.0f %zu %016" PRIx64 "\n", int(kMagic.size()), kMagic.data(),
            kFormat, fetchedAt.timeIntervalSince1970() * 1000, body.size(), checksumOf(body));
        return line;
    }

    struct Header {
        double fetchedAtMilliseconds { 0 };
        std::size_t length { 0 };
        std::uint64_t checksum { 0 };
    };

    Result<Header> parseHeader(std::string_view line)
    {
        std::istringstream in { std::string(line) };
        std::string magic;
        int format = 0;
        Header header;
        std::string checksum;
        if (!(in >> magic >> format >> header.fetchedAtMilliseconds >> header.length >> checksum) || magic != kMagic)
            return Error("not a cached reply");
        if (format != kFormat)
            return Error("format " + std::to_string(format) + " is not known");
        if (checksum.size() != 16 || checksum.find_first_not_of("0123456789abcdef") != std::string::npos)
            return Error("its checksum is unreadable");
        header.checksum = std::stoull(checksum, nullptr, 16);
        return header;
    }

    Result<std::string> readFile(const std::filesystem::path& file, std::size_t limit)
    {
        std::ifstream in(file, std::ios::binary);
        if (!in)
            return Error("none kept");
        std::string contents;
        char buffer[65536];
        while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
            contents.append(buffer, static_cast<std::size_t>(in.gcount()));
            if (contents.size() > limit)
                return Error("it is larger than any reply kept");
        }
        return contents;
    }

    bool isGraphEntry(const std::filesystem::path& file)
    {
        return file.filename().string().starts_with("graph");
    }

}

ReplyCache::ReplyCache(const std::filesystem::path& cacheRoot, std::string_view user)
    : m_folder(cacheRoot / folderNameFor(user))
{
}

std::string ReplyCache::folderNameFor(std::string_view name)
{
    std::string escaped;
    for (unsigned char c : name) {
        if (std::isalnum(c) || c == '-' || c == '_') {
            escaped += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            escaped += hex;
        }
    }
    if (escaped.empty())
        return "%"; // an empty name still gets a folder of its own, never the root
    if (escaped.size() > kLongestName) {
        char hash[20];
        std::snprintf(hash, sizeof hash, "~%016" PRIx64, checksumOf(name));
        escaped = escaped.substr(0, kLongestName) + hash;
    }
    return escaped;
}

std::filesystem::path ReplyCache::fileFor(std::string_view key) const
{
    return m_folder / (folderNameFor(key) + std::string(kSuffix));
}

Status ReplyCache::store(std::string_view key, std::string_view body, platform::Date fetchedAt)
{
    std::filesystem::path file = fileFor(key);
    std::error_code code;
    if (body.size() > maxEntryBytes) {
        // Keeping the older copy would show, at the next launch, a list older
        // than the one the user has already seen.
        std::filesystem::remove(file, code);
        return Error("a reply of " + std::to_string(body.size()) + " bytes is larger than the cache keeps");
    }
    std::filesystem::create_directories(m_folder, code);
    if (code)
        return Error("cannot make " + m_folder.string() + ": " + code.message());
    std::filesystem::permissions(m_folder, std::filesystem::perms::owner_all, code);
    removeStrayTemporaries();
    std::string contents = headerFor(body, fetchedAt);
    contents.append(body);
    if (Status written = writeAtomically(file, contents); !written)
        return written;
    evictBeyondTotal(file);
    return {};
}

Status ReplyCache::writeAtomically(const std::filesystem::path& file, std::string_view contents)
{
    std::string pattern = file.string() + std::string(kTemporaryMark) + "XXXXXX";
    std::vector<char> temporary(pattern.begin(), pattern.end());
    temporary.push_back('\0');
    int descriptor = ::mkstemp(temporary.data());
    if (descriptor < 0)
        return Error(std::string("cannot write ") + file.string() + ": " + std::strerror(errno));
    // The new reply reaches the disk before the rename makes it visible, so
    // a crash leaves the old file or the new one, never a part of either.
    bool written = platform::writeAll(descriptor, contents) && ::fsync(descriptor) == 0;
    int savedErrno = errno;
    written = ::close(descriptor) == 0 && written;
    if (written && m_beforeRename)
        m_beforeRename();
    if (!written || ::rename(temporary.data(), file.c_str()) != 0) {
        if (written)
            savedErrno = errno;
        ::unlink(temporary.data());
        return Error(std::string("cannot write ") + file.string() + ": " + std::strerror(savedErrno));
    }
    int folderDescriptor = ::open(m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderDescriptor >= 0) {
        ::fsync(folderDescriptor);
        ::close(folderDescriptor);
    }
    return {};
}

void ReplyCache::removeStrayTemporaries()
{
    // Left by a process killed between writing and renaming; once per run
    // is enough, as this one removes its own when a write fails.
    if (m_swept)
        return;
    m_swept = true;
    std::error_code code;
    for (auto it = std::filesystem::directory_iterator(m_folder, code);
         !code && it != std::filesystem::directory_iterator(); it.increment(code)) {
        if (it->path().filename().string().find(kTemporaryMark) != std::string::npos) {
            std::error_code ignored;
            std::filesystem::remove(it->path(), ignored);
        }
    }
}

Result<CachedReply> ReplyCache::load(std::string_view key) const
{
    std::filesystem::path file = fileFor(key);
    if (!std::filesystem::exists(file))
        return Error("no reply kept for " + std::string(key));
    auto damaged = [&](const std::string& why) -> Result<CachedReply> {
        hestio::log("Ignoring the damaged cached reply " + file.string() + ": " + why);
        std::error_code ignored;
        std::filesystem::remove(file, ignored);
        return Error("the reply kept for " + std::string(key) + " is damaged: " + why);
    };
    Result<std::string> contents = readFile(file, maxEntryBytes + 128);
    if (!contents)
        return damaged(contents.error().message());
    std::string_view text = *contents;
    std::size_t lineEnd = text.find('\n');
    if (lineEnd == std::string_view::npos || lineEnd > 127)
        return damaged("its header is cut short");
    Result<Header> header = parseHeader(text.substr(0, lineEnd));
    if (!header)
        return damaged(header.error().message());
    std::string_view body = text.substr(lineEnd + 1);
    if (body.size() != header->length)
        return damaged("it holds " + std::to_string(body.size()) + " of " + std::to_string(header->length) + " bytes");
    if (checksumOf(body) != header->checksum)
        return damaged("its checksum does not match");
    return CachedReply { std::string(body), platform::Date::fromMilliseconds(header->fetchedAtMilliseconds) };
}

Status ReplyCache::removeAll()
{
    std::error_code code;
    std::filesystem::remove_all(m_folder, code);
    if (code)
        return Error("cannot delete " + m_folder.string() + ": " + code.message());
    return {};
}

std::size_t ReplyCache::totalBytes() const
{
    std::size_t total = 0;
    std::error_code code;
    for (auto it = std::filesystem::directory_iterator(m_folder, code);
         !code && it != std::filesystem::directory_iterator(); it.increment(code)) {
        std::error_code sizeCode;
        std::uintmax_t size = it->file_size(sizeCode);
        if (!sizeCode)
            total += static_cast<std::size_t>(size);
    }
    return total;
}

void ReplyCache::evictBeyondTotal(const std::filesystem::path& keep)
{
    struct Entry {
        std::filesystem::path file;
        std::size_t size;
        bool graph;
        double fetchedAt; // 0 when unreadable: such a file goes first
    };
    std::vector<Entry> entries;
    std::size_t total = 0;
    std::error_code code;
    for (auto it = std::filesystem::directory_iterator(m_folder, code);
         !code && it != std::filesystem::directory_iterator(); it.increment(code)) {
        std::error_code sizeCode;
        auto size = static_cast<std::size_t>(it->file_size(sizeCode));
        if (sizeCode)
            continue;
        total += size;
        std::ifstream in(it->path(), std::ios::binary);
        std::string line;
        std::getline(in, line);
        Result<Header> header = parseHeader(line);
        entries.push_back({ it->path(), size, isGraphEntry(it->path()), header ? header->fetchedAtMilliseconds : 0 });
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
