#include "model/FollowedSuggestion.h"

#include "platform/foundation/Log.h"
#include "platform/foundation/PrivateFiles.h"
#include "platform/foundation/PropertyList.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace hestio {

using platform::PropertyListValue;

namespace {

    constexpr const char* kListKey = "followed";
    /// Whose records they are; files written before it was kept have none.
    constexpr const char* kUserKey = "user";

    PropertyListValue toValue(const FollowedSuggestion& followed)
    {
        return PropertyListValue::Dictionary {
            { "suggestionID", PropertyListValue(followed.suggestionID) },
            { "text", PropertyListValue(followed.text) },
            { "deviceID", PropertyListValue(followed.deviceID) },
            { "deviceName", PropertyListValue(followed.deviceName) },
            { "followedAt", PropertyListValue(followed.followedAt.timeIntervalSince1970()) },
        };
    }

    std::optional<FollowedSuggestion> fromValue(const PropertyListValue& value)
    {
        const auto* fields = value.asDictionary();
        if (!fields)
            return std::nullopt;
        auto entry = [&](const char* key) -> const PropertyListValue* {
            auto found = fields->find(key);
            return found == fields->end() ? nullptr : &found->second;
        };
        auto text = [&](const char* key) -> const std::string* {
            const PropertyListValue* found = entry(key);
            return found ? found->asString() : nullptr;
        };
        FollowedSuggestion record;
        const PropertyListValue* id = entry("suggestionID");
        std::int64_t number = 0;
        if (!id || !id->asInteger())
            return std::nullopt;
        number = id->asInteger().value_or(0);
        if (number < std::numeric_limits<std::int32_t>::min() || number > std::numeric_limits<std::int32_t>::max())
            return std::nullopt;
        record.suggestionID = static_cast<std::int32_t>(number);
        const PropertyListValue* at = entry("followedAt");
        double seconds = at ? at->asReal().value_or(NAN) : NAN;
        if (!std::isfinite(seconds))
            return std::nullopt;
        record.followedAt = platform::Date(seconds);
        const std::string* suggestionText = text("text");
        const std::string* deviceID = text("deviceID");
        const std::string* deviceName = text("deviceName");
        if (!suggestionText || !deviceID || !deviceName)
            return std::nullopt;
        record.text = *suggestionText;
        record.deviceID = *deviceID;
        record.deviceName = *deviceName;
        return record;
    }

    /// Oldest first, as kept in the file; none when the file names another
    /// user than `username`.
    std::vector<FollowedSuggestion> readFile(const std::filesystem::path& file, const std::string& username)
    {
        // A file that is no property list has been reported by the reader.
        auto contents = platform::readPropertyList(file);
        if (!contents)
            return {};
        if (const PropertyListValue* user = contents->find(kUserKey)) {
            if (!user->asString() || *user->asString() != username) {
                log("Followed suggestions in " + file.string() + " belong to another user; they are not shown");
                return {};
            }
        }
        const PropertyListValue* list = contents->find(kListKey);
        const auto* entries = list ? list->asArray() : nullptr;
        if (!entries) {
            log("Followed suggestions in " + file.string() + " are unreadable; starting a new list");
            return {};
        }
        std::vector<FollowedSuggestion> records;
        std::size_t unreadable = 0;
        for (const auto& entry : *entries) {
            if (auto record = fromValue(entry))
                records.push_back(std::move(*record));
            else
                ++unreadable;
        }
        if (unreadable != 0)
            log("Followed suggestions in " + file.string() + ": " + std::to_string(unreadable)
                + " unreadable record(s) left out");
        return records;
    }

}

FollowedSuggestionStore::FollowedSuggestionStore(std::filesystem::path file, std::string username)
    : m_file(std::move(file))
    , m_username(std::move(username))
{
}

FollowedSuggestionStore FollowedSuggestionStore::forUser(
    const std::filesystem::path& dataDirectory, const std::string& username)
{
    return FollowedSuggestionStore(
        dataDirectory / "FollowedSuggestions" / (platform::safeFileName(username) + ".plist"), username);
}

std::vector<FollowedSuggestion> FollowedSuggestionStore::load() const
{
    auto records = readFile(m_file, m_username);
    std::reverse(records.begin(), records.end());
    return records;
}

void FollowedSuggestionStore::record(const FollowedSuggestion& followed, std::function<void(bool kept)> done) const
{
    auto records = readFile(m_file, m_username);
    std::erase_if(records, [&](const auto& each) { return each.suggestionID == followed.suggestionID; });
    records.push_back(followed);
    if (records.size() > capacity)
        records.erase(records.begin(), records.end() - static_cast<std::ptrdiff_t>(capacity));
    PropertyListValue::Array entries;
    entries.reserve(records.size());
    for (const auto& each : records)
        entries.push_back(toValue(each));
    // Read back from the queue until it is on the disk, so that a second
    // follow before then builds on this one.
    static_cast<void>(platform::writePropertyList(m_file,
        PropertyListValue::Dictionary { { kUserKey, PropertyListValue(m_username) }, { kListKey, std::move(entries) } },
        std::move(done)));
}

}
