#include "presence/FailedMovementFile.h"

#include "platform/foundation/Log.h"
#include "platform/foundation/Profile.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Redaction.h"

#include <mutex>

namespace hestio {

namespace {

    using platform::PropertyListValue;

    std::mutex g_fileMutex;

    std::vector<std::string> entriesOf(const PropertyListValue::Dictionary& dictionary)
    {
        std::vector<std::string> entries;
        auto it = dictionary.find("locations");
        if (it == dictionary.end())
            return entries;
        if (const auto* array = it->second.asArray()) {
            for (const auto& element : *array) {
                if (const std::string* text = element.asString())
                    entries.push_back(*text);
            }
        }
        return entries;
    }

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

std::vector<std::string> FailedMovementFile::getAllFailedLocations()
{
    std::lock_guard lock(g_fileMutex);
    return entriesOf(platform::readPropertyListDictionary(path()));
}

void FailedMovementFile::addLocationToPlist(const std::string& entry)
{
    std::lock_guard lock(g_fileMutex);
    auto file = path();
    PropertyListValue::Dictionary dictionary = platform::readPropertyListDictionary(file);
    std::vector<std::string> entries = entriesOf(dictionary);
    hestio::log("location data: " + redactSecrets(describe(dictionary)));
    entries.push_back(entry);
    dictionary["locations"] = arrayOf(entries);
    platform::writePropertyList(file, dictionary);
}

std::optional<std::string> FailedMovementFile::getLocationFromPlist()
{
    std::lock_guard lock(g_fileMutex);
    auto file = path();
    PropertyListValue::Dictionary dictionary = platform::readPropertyListDictionary(file);
    std::vector<std::string> entries = entriesOf(dictionary);
    if (entries.empty())
        return std::nullopt;
    std::string first = entries.front();
    entries.erase(entries.begin());
    dictionary["locations"] = arrayOf(entries);
    if (!platform::writePropertyList(file, dictionary))
        return std::nullopt; // could not take it out: leave it for the next resend rather than send it twice
    return first;
}

std::optional<std::string> FailedMovementFile::firstFailedLocation()
{
    std::lock_guard lock(g_fileMutex);
    std::vector<std::string> entries = entriesOf(platform::readPropertyListDictionary(path()));
    if (entries.empty())
        return std::nullopt;
    return entries.front();
}

namespace {

    enum class FirstEntry { Remove, MoveToEnd };

    bool changeFirst(const std::string& entry, FirstEntry change)
    {
        std::lock_guard lock(g_fileMutex);
        auto file = FailedMovementFile::path();
        PropertyListValue::Dictionary dictionary = platform::readPropertyListDictionary(file);
        std::vector<std::string> entries = entriesOf(dictionary);
        if (entries.empty() || entries.front() != entry)
            return false;
        entries.erase(entries.begin());
        if (change == FirstEntry::MoveToEnd)
            entries.push_back(entry);
        dictionary["locations"] = arrayOf(entries);
        return platform::writePropertyList(file, dictionary);
    }

}

bool FailedMovementFile::removeFirstFailedLocation(const std::string& entry)
{
    return changeFirst(entry, FirstEntry::Remove);
}

bool FailedMovementFile::moveFirstFailedLocationToEnd(const std::string& entry)
{
    return changeFirst(entry, FirstEntry::MoveToEnd);
}

}
