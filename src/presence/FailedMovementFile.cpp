#include "presence/FailedMovementFile.h"

#include "platform/foundation/Clock.h"
#include "platform/foundation/DiskWriter.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/PrivateFiles.h"
#include "platform/foundation/Profile.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Redaction.h"
#include "platform/foundation/RunLoop.h"

#include <algorithm>
#include <ctime>
#include <map>
#include <mutex>

namespace hestio {

namespace {

    using platform::PropertyListValue;

    /// Also taken on the disk writer's thread, as a write ends (and in the
    /// caller's, in a process that writes at once): hence recursive.
    std::recursive_mutex g_fileMutex;

    PropertyListValue::Array arrayOf(const std::vector<std::string>& entries)
    {
        PropertyListValue::Array array;
        for (const auto& entry : entries)
            array.emplace_back(entry);
        return array;
    }

    // The dictionary as the log line shows it: one key per line, strings quoted.
    std::string describe(const PropertyListValue::Dictionary& dictionary)
    {
        std::string text = "{\n";
        for (const auto& [key, value] : dictionary) {
            text += "    " + key + " = ";
            if (const auto* array = value.asArray()) {
                text += "    (\n";
                for (std::size_t i = 0; i < array->size(); ++i) {
                    const std::string* s = (*array)[i].asString();
                    text += "        \"" + (s ? *s : std::string("?")) + "\"" + (i + 1 < array->size() ? ",\n" : "\n");
                }
                text += "    );\n";
            } else if (const std::string* s = value.asString()) {
                text += "\"" + *s + "\";\n";
            } else {
                text += "?;\n";
            }
        }
        return text + "}";
    }

}

std::filesystem::path FailedMovementFile::path()
{
    return platform::Profile::current().documentsDirectory() / "failedLocationPosts.plist";
}

namespace {

    /// What this process knows of a file beyond its bytes. Guarded by
    /// g_fileMutex.
    struct Pending {
        /// Waiting entries the file could not take yet; written at the next
        /// write that succeeds.
        std::vector<std::string> unwritten;
        /// Entries the service has, still in the file because it could not be
        /// rewritten; they are neither listed nor resent.
        std::vector<std::string> delivered;
        /// Postings on their way; not offered for a resend.
        std::vector<std::string> inFlight;
        /// Counts the writes queued: only the last one's failure is kept in
        /// `unwritten` and `delivered` (a later one carries every change).
        std::uint64_t writes { 0 };
    };
    std::map<std::string, Pending> g_pending;

    bool eraseOne(std::vector<std::string>& list, const std::string& entry)
    {
        auto found = std::find(list.begin(), list.end(), entry);
        if (found == list.end())
            return false;
        list.erase(found);
        return true;
    }

    platform::Date now()
    {
        if (auto* loop = platform::RunLoop::currentIfAny())
            return loop->clock().now();
        return platform::SystemClock::shared().now();
    }

    /// "failedLocationPosts-unreadable-20261207-101500.plist" beside the file,
    /// with a number added when that name is taken.
    std::filesystem::path asideName(const std::filesystem::path& file)
    {
        auto seconds = static_cast<std::time_t>(now().timeIntervalSince1970());
        std::tm parts {};
        gmtime_r(&seconds, &parts);
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &parts);
        std::string base = file.stem().string() + "-unreadable-" + stamp;
        std::filesystem::path candidate = file.parent_path() / (base + file.extension().string());
        std::error_code ignored;
        for (int n = 2; std::filesystem::exists(candidate, ignored); ++n)
            candidate = file.parent_path() / (base + "-" + std::to_string(n) + file.extension().string());
        return candidate;
    }

    /// The file as read, with what this process still holds for it.
    struct Contents {
        std::filesystem::path file;
        PropertyListValue::Dictionary dictionary;
        /// Every entry waiting, postings on their way included, oldest first.
        std::vector<std::string> entries;
        Pending& pending;
        /// False when an unreadable file could not be moved aside: it must
        /// not be overwritten, so everything new stays in memory.
        bool writable { true };
    };

    /// Moves an unreadable file aside; false when it stays where it is.
    bool setAside(const std::filesystem::path& file, const std::string& problem)
    {
        std::filesystem::path target = asideName(file);
        std::error_code error;
        std::filesystem::rename(file, target, error);
        if (error) {
            hestio::log("The failed-movement file cannot be read (" + problem + ") nor moved aside (" + error.message()
                + "); new failed movements are kept in memory");
            return false;
        }
        hestio::log("The failed-movement file cannot be read (" + problem + "); it is kept as " + target.string());
        return true;
    }

    Contents load(const std::filesystem::path& file)
    {
        Contents contents { file, {}, {}, g_pending[file.string()] };
        // A write still on its way to the disk counts as the file.
        std::error_code error;
        std::optional<platform::DiskWriter::Queued> queued = platform::DiskWriter::shared().queued(file);
        if (queued ? !queued->removed : std::filesystem::exists(file, error)) {
            std::optional<PropertyListValue> value = platform::readPropertyList(file);
            std::string problem;
            if (!value) {
                problem = "it is not a property list";
            } else if (auto* dictionary = value->asDictionary()) {
                contents.dictionary = std::move(*dictionary);
                auto found = contents.dictionary.find("locations");
                if (found != contents.dictionary.end()) {
                    if (const auto* array = found->second.asArray()) {
                        for (const auto& element : *array) {
                            if (const std::string* text = element.asString())
                                contents.entries.push_back(*text);
                            else
                                problem = "an entry of \"locations\" is not a text";
                        }
                    } else {
                        problem = "\"locations\" is not a list";
                    }
                }
            } else {
                problem = "its top level is not a dictionary";
            }
            // The entries that could be read carry over into the new file;
            // the old one is kept whole for whatever else it held.
            if (!problem.empty()) {
                contents.writable = setAside(file, problem);
                contents.dictionary.clear();
            }
        }
        Pending& pending = contents.pending;
        std::vector<std::string> delivered;
        for (const auto& entry : pending.delivered) {
            if (eraseOne(contents.entries, entry))
                delivered.push_back(entry);
        }
        pending.delivered = std::move(delivered);
        contents.entries.insert(contents.entries.end(), pending.unwritten.begin(), pending.unwritten.end());
        return contents;
    }

    /// The entries of the file on the disk, past what is queued for it.
    std::vector<std::string> entriesOnDisk(const std::filesystem::path& file)
    {
        std::vector<std::string> entries;
        auto read = platform::readPrivateFile(file, 64 * 1024 * 1024);
        if (!read || !*read)
            return entries;
        auto value = platform::parsePropertyList((*read)->bytes);
        const PropertyListValue* locations = value ? value->find("locations") : nullptr;
        if (const auto* array = locations ? locations->asArray() : nullptr)
            for (const auto& element : *array)
                if (const std::string* text = element.asString())
                    entries.push_back(*text);
        return entries;
    }

    /// On the writer's thread, as the write numbered `write` of `entries`
    /// ended: when it failed and no later write is queued, what the disk
    /// lacks and what it holds too many become `unwritten` and `delivered`,
    /// so that nothing is lost and nothing delivered is sent again.
    void writeEnded(const std::filesystem::path& file, std::uint64_t write, const std::vector<std::string>& entries,
        const platform::Status& status)
    {
        std::lock_guard lock(g_fileMutex);
        Pending& pending = g_pending[file.string()];
        if (status || write != pending.writes)
            return;
        hestio::log("Could not write property list " + file.string() + ": " + status.error().message());
        std::vector<std::string> onDisk = entriesOnDisk(file);
        pending.unwritten.clear();
        for (const auto& entry : entries)
            if (!eraseOne(onDisk, entry))
                pending.unwritten.push_back(entry);
        pending.delivered = std::move(onDisk);
        if (!pending.unwritten.empty())
            hestio::log("A failed movement could not be written to the file; it is kept until the next chance");
    }

    /// Queues the new file on the disk writer; false (nothing queued) when
    /// an unreadable file stands in the way. Reads see it from then on.
    bool store(Contents& contents)
    {
        if (!contents.writable)
            return false;
        contents.dictionary["locations"] = arrayOf(contents.entries);
        Pending& pending = contents.pending;
        std::uint64_t write = ++pending.writes;
        pending.unwritten.clear();
        pending.delivered.clear();
        platform::DiskWriter::shared().write(contents.file, platform::propertyListToXml(contents.dictionary), {},
            [file = contents.file, write, entries = contents.entries](const std::string& bytes) {
                platform::Status status = platform::DiskWriter::replaceInFolder(file, bytes);
                writeEnded(file, write, entries, status);
                return status;
            });
        return true;
    }

    /// The entries offered for a resend: all but the postings on their way.
    std::vector<std::string> waiting(const Contents& contents)
    {
        std::vector<std::string> onTheirWay = contents.pending.inFlight;
        std::vector<std::string> result;
        for (const auto& entry : contents.entries) {
            if (!eraseOne(onTheirWay, entry))
                result.push_back(entry);
        }
        return result;
    }

    void append(Contents& contents, const std::string& entry)
    {
        contents.entries.push_back(entry);
        if (!store(contents)) {
            contents.pending.unwritten.push_back(entry);
            hestio::log("A failed movement could not be written to the file; it is kept until the next chance");
        }
    }

    /// Takes `entry` out for good: from the file, or, when the file cannot
    /// be rewritten, from memory (and it is then neither listed nor resent).
    bool remove(Contents& contents, const std::string& entry)
    {
        if (!eraseOne(contents.entries, entry))
            return false;
        if (store(contents) || eraseOne(contents.pending.unwritten, entry))
            return true;
        contents.pending.delivered.push_back(entry);
        return true;
    }

}

std::vector<std::string> FailedMovementFile::getAllFailedLocations()
{
    std::lock_guard lock(g_fileMutex);
    return waiting(load(path()));
}

void FailedMovementFile::addLocationToPlist(const std::string& entry)
{
    std::lock_guard lock(g_fileMutex);
    Contents contents = load(path());
    hestio::log("location data: " + redactSecrets(describe(contents.dictionary)));
    append(contents, entry);
}

std::optional<std::string> FailedMovementFile::getLocationFromPlist()
{
    std::lock_guard lock(g_fileMutex);
    Contents contents = load(path());
    std::vector<std::string> entries = waiting(contents);
    if (entries.empty())
        return std::nullopt;
    remove(contents, entries.front());
    return entries.front();
}

void FailedMovementFile::beginPosting(const std::string& entry)
{
    std::lock_guard lock(g_fileMutex);
    Contents contents = load(path());
    contents.pending.inFlight.push_back(entry);
    append(contents, entry);
}

void FailedMovementFile::endPosting(const std::string& entry, PostingOutcome outcome)
{
    std::lock_guard lock(g_fileMutex);
    Contents contents = load(path());
    eraseOne(contents.pending.inFlight, entry);
    if (outcome == PostingOutcome::Answered)
        remove(contents, entry);
}

std::optional<std::string> FailedMovementFile::firstFailedLocation()
{
    std::lock_guard lock(g_fileMutex);
    std::vector<std::string> entries = waiting(load(path()));
    if (entries.empty())
        return std::nullopt;
    return entries.front();
}

namespace {

    // A posting that failed meanwhile may now stand before the entry the
    // resend took, so the entry is looked for among all the waiting ones.
    bool isWaiting(const Contents& contents, const std::string& entry)
    {
        std::vector<std::string> entries = waiting(contents);
        return std::find(entries.begin(), entries.end(), entry) != entries.end();
    }

}

bool FailedMovementFile::removeFirstFailedLocation(const std::string& entry)
{
    std::lock_guard lock(g_fileMutex);
    Contents contents = load(path());
    if (!isWaiting(contents, entry))
        return false;
    return remove(contents, entry);
}

bool FailedMovementFile::moveFirstFailedLocationToEnd(const std::string& entry)
{
    std::lock_guard lock(g_fileMutex);
    Contents contents = load(path());
    if (!isWaiting(contents, entry))
        return false;
    eraseOne(contents.entries, entry);
    contents.entries.push_back(entry);
    return store(contents);
}

}
