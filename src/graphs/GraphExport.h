#pragma once

#include "graphs/GraphCsv.h"
#include "net/WebServiceConnector.h"
#include "platform/foundation/Date.h"
#include "platform/foundation/NewFiles.h"
#include "platform/foundation/TimeZone.h"
#include "platform/foundation/UserDocuments.h"
#include "platform/ui/AlertView.h"
#include "json/Value.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hestio {

/// What a graph screen's export writes: the start of its files' names and
/// how its samples go into the CSV file.
struct GraphExportKind {
    /// "home-energy", "desk-lamp-power".
    std::string name;
    CsvSeries series;
    /// The sample key of the value.
    std::string valueKey;
};

/// The exported files' stem: "<name>-<yyyy-MM-dd>" with the day in `zone`.
std::string exportFileStem(const std::string& name, platform::Date day, const platform::TimeZone& zone);
/// A text (a device's name) made fit to be part of a file name: ASCII
/// letters in lower case, digits and other scripts' letters kept, format and
/// bidirectional characters dropped (safeName), every run of anything else
/// one "-", at most 40 bytes; "device" when nothing is left.
std::string fileNamePart(std::string_view text);

/// The folder inside the documents folder that exports go to.
inline constexpr const char* exportFolderName = "Hestio";

inline constexpr const char* exportSavedTitle = "Export Saved";
inline constexpr const char* exportFailedTitle = "Export Failed";
/// "Saved the week as CSV and the day as PNG in Documents › Hestio:\n<csv
/// name>\n<png name>" (the two lie in one folder, named from `home` down).
std::string exportSavedMessage(
    const std::filesystem::path& csv, const std::filesystem::path& png, const std::filesystem::path& home);
inline constexpr const char* exportOpenFolderButton = "Open Folder";
/// "Could not save <path>: the disk is full." and the like.
std::string exportFailureMessage(const platform::FileWriteFailure& failure);
inline constexpr const char* exportNotLoadedMessage
    = "The week's data could not be loaded. Check the connection and try again.";
inline constexpr const char* exportRefusedMessage = "The service did not send the week's data. Try again later.";

/// The samples of a reply's array, by the graph screens' rules: the time
/// under "timestamp" (or "from" when a sample has none) in milliseconds,
/// truncated to the second; the value under `valueKey`.
[[nodiscard]] std::vector<CsvSample> csvSamplesOf(const json::Value& samples, const std::string& valueKey);

/// One export of a graph screen, from the tap to the alert. It asks the
/// service for the week again (the screen may hold only part of it, and
/// pages on while the export waits), writes the CSV file of the week and the
/// PNG picture taken at the tap into the documents folder (on the disk
/// writer, in order with the app's other writes), and shows where they
/// went, or why they could not be written. It keeps itself alive until
/// then, also when the screen is closed meanwhile.
class GraphExport : public std::enable_shared_from_this<GraphExport> {
public:
    /// Sends a request for the samples up to `end` with `replyTo` as its
    /// delegate and returns where they start (`end` itself when no request
    /// could be sent).
    using WeekRequest
        = std::function<platform::Date(platform::Date end, std::shared_ptr<WebServiceConnectorDelegate> replyTo)>;

    struct Job {
        GraphExportKind kind;
        CsvRange range;
        /// The reply's key of the samples array.
        std::string replyKey;
        /// The shown day, for the files' names.
        platform::Date day;
        std::string png;
        platform::DocumentsLookup documents;
    };

    struct Outcome {
        bool succeeded { false };
        std::string title;
        std::string message;
        std::vector<std::filesystem::path> paths;
    };

    static std::shared_ptr<GraphExport> create(Job job, std::function<void(const Outcome&)> finished);
    /// The alert that tells how an export went; after a success its second
    /// button opens the folder the files went to.
    [[nodiscard]] static std::shared_ptr<platform::AlertView> alertFor(const Outcome& outcome);

    /// Sends the requests (one, or more when one reaches back less far
    /// than the week); finishes at once when none could be sent.
    void start(const WeekRequest& request);
    bool isFinished() const { return m_done; }

private:
    class PartReply;
    GraphExport(Job job, std::function<void(const Outcome&)> finished);
    // The answers, one per request; part 0 is the newest.
    void partReceived(std::size_t part, bool success, const json::Value& data);
    void partFailed();
    void finishIfComplete();
    void finish(const Outcome& outcome);
    /// On the disk writer's thread.
    static Outcome writeFiles(const Job& job, std::vector<CsvSample> samples);

    Job m_job;
    std::function<void(const Outcome&)> m_finished;
    /// Where each request's samples end; a later (older) request keeps only
    /// its samples before that, so an overlap is not written twice.
    std::vector<platform::Date> m_partEnds;
    std::vector<CsvSample> m_samples;
    std::size_t m_waiting { 0 };
    std::optional<Outcome> m_failure;
    bool m_done { false };
};

}
