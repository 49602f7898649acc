#include "graphs/GraphExport.h"

#include "model/ShownName.h"
#include "platform/foundation/Calendar.h"
#include "platform/foundation/DiskWriter.h"
#include "platform/foundation/Log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

namespace hestio {

namespace {

    /// At most this many requests for one week (the first reaches back a
    /// week already; the second covers what a day boundary of another zone
    /// left out).
    constexpr int largestPartCount = 3;
    constexpr std::size_t longestNamePart = 40;

    std::string reasonText(const platform::FileWriteFailure& failure)
    {
        switch (failure.error) {
        case ENOSPC:
        case EDQUOT:
            return "the disk is full";
        case EACCES:
        case EPERM:
            return "permission denied";
        case EROFS:
            return "the disk is read-only";
        case EFBIG:
            return "the file is too large";
        case ENOTDIR:
            return "a file of that name is in the way";
        case EEXIST:
            return failure.step == platform::FileWriteFailure::Step::CreateFolder ? "a file of that name is in the way"
                                                                                  : "too many files of that name";
        default:
            return std::strerror(failure.error);
        }
    }

}

std::string exportFileStem(const std::string& name, platform::Date day, const platform::TimeZone& zone)
{
    platform::DateComponents parts = platform::Calendar(zone).components(day);
    char date[32];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", parts.year, parts.month, parts.day);
    return name + "-" + date;
}

std::string fileNamePart(std::string_view name)
{
    // What a name shows, without the characters one cannot see either.
    std::string safe = safeName(name, FormatCharacters::Drop);
    std::string_view text = safe;
    auto isAsciiLetterOrDigit
        = [](unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); };
    std::string part;
    bool pendingDash = false;
    for (std::size_t i = 0; i < text.size();) {
        auto lead = static_cast<unsigned char>(text[i]);
        // A character of another script is kept whole: its lead byte and
        // the continuation bytes after it. Anything else separates words.
        std::size_t length = 1;
        if (lead >= 0xC0)
            while (i + length < text.size() && (static_cast<unsigned char>(text[i + length]) & 0xC0) == 0x80)
                ++length;
        if (!isAsciiLetterOrDigit(lead) && lead < 0xC0) {
            pendingDash = !part.empty();
            i += length;
            continue;
        }
        if (part.size() + length + (pendingDash ? 1 : 0) > longestNamePart)
            break;
        if (pendingDash)
            part += '-';
        pendingDash = false;
        if (lead < 0x80)
            part += static_cast<char>(lead >= 'A' && lead <= 'Z' ? lead - 'A' + 'a' : lead);
        else
            part.append(text.substr(i, length));
        i += length;
    }
    return part.empty() ? "device" : part;
}

std::string exportSavedMessage(
    const std::filesystem::path& csv, const std::filesystem::path& png, const std::filesystem::path& home)
{
    return "Saved the week as CSV and the day as PNG in " + platform::folderDisplayName(csv.parent_path(), home) + ":\n"
        + csv.filename().string() + "\n" + png.filename().string();
}

std::string exportFailureMessage(const platform::FileWriteFailure& failure)
{
    if (failure.step == platform::FileWriteFailure::Step::CreateFolder)
        return "Could not make the folder " + failure.path.string() + ": " + reasonText(failure) + ".";
    return "Could not save " + failure.path.string() + ": " + reasonText(failure) + ".";
}

std::vector<CsvSample> csvSamplesOf(const json::Value& samples, const std::string& valueKey)
{
    std::vector<CsvSample> out;
    out.reserve(samples.count());
    for (std::size_t i = 0; i < samples.count(); ++i) {
        const json::Value& sample = samples[i];
        const json::Value& timestamp = sample["timestamp"];
        const json::Value& time = timestamp ? timestamp : sample["from"];
        out.push_back({ time.integerValue() / 1000, csvValueOf(sample[valueKey]) });
    }
    return out;
}

/// The delegate of one request: hands its one answer to the export, which
/// it keeps alive until then.
class GraphExport::PartReply final : public WebServiceConnectorDelegate {
public:
    PartReply(std::shared_ptr<GraphExport> owner, std::size_t part)
        : m_owner(std::move(owner))
        , m_part(part)
    {
    }

    void dataReceived(bool success, const json::Value& data, int) override
    {
        if (auto owner = std::exchange(m_owner, nullptr))
            owner->partReceived(m_part, success, data);
    }
    void dataSent(bool success, int) override
    {
        if (auto owner = std::exchange(m_owner, nullptr))
            owner->partReceived(m_part, success, json::Value());
    }
    bool requestToServerFailedWithError(const platform::TransportError&, const std::string&) override
    {
        if (auto owner = std::exchange(m_owner, nullptr))
            owner->partFailed();
        return true;
    }

private:
    std::shared_ptr<GraphExport> m_owner;
    std::size_t m_part;
};

std::shared_ptr<GraphExport> GraphExport::create(Job job, std::function<void(const Outcome&)> finished)
{
    return std::shared_ptr<GraphExport>(new GraphExport(std::move(job), std::move(finished)));
}

GraphExport::GraphExport(Job job, std::function<void(const Outcome&)> finished)
    : m_job(std::move(job))
    , m_finished(std::move(finished))
{
}

void GraphExport::start(const WeekRequest& request)
{
    platform::Date end = m_job.range.end;
    for (int part = 0; part < largestPartCount; ++part) {
        auto reply = std::make_shared<PartReply>(shared_from_this(), m_partEnds.size());
        platform::Date start = request(end, reply);
        if (!(start < end))
            break; // nothing was asked for
        m_partEnds.push_back(end);
        ++m_waiting;
        if (!(start > m_job.range.start))
            break;
        end = start;
    }
    finishIfComplete();
}

void GraphExport::partReceived(std::size_t part, bool success, const json::Value& data)
{
    if (m_waiting > 0)
        --m_waiting;
    if (!success) {
        if (!m_failure)
            m_failure = Outcome { false, exportFailedTitle, exportRefusedMessage, {} };
    } else if (!m_failure) {
        std::vector<CsvSample> samples = csvSamplesOf(data[m_job.replyKey], m_job.kind.valueKey);
        double end = m_partEnds[part].timeIntervalSince1970();
        for (auto& sample : samples)
            if (part == 0 || static_cast<double>(sample.seconds) < end)
                m_samples.push_back(std::move(sample));
    }
    finishIfComplete();
}

void GraphExport::partFailed()
{
    if (m_waiting > 0)
        --m_waiting;
    // The request object has shown its network panel; this says what it meant.
    if (!m_failure)
        m_failure = Outcome { false, exportFailedTitle, exportNotLoadedMessage, {} };
    finishIfComplete();
}

void GraphExport::finishIfComplete()
{
    if (m_waiting > 0 || m_done)
        return;
    m_done = true;
    if (m_failure) {
        finish(*m_failure);
        return;
    }
    // The files are made and written on the disk writer, in order with the
    // app's other writes; the alert comes back on this run loop.
    auto outcome = std::make_shared<Outcome>();
    auto work = [outcome, job = m_job, samples = std::move(m_samples)]() mutable {
        *outcome = writeFiles(job, std::move(samples));
        return platform::Status();
    };
    platform::DiskWriter::shared().run(
        std::move(work), [self = shared_from_this(), outcome](const platform::Status& ran) {
            if (!ran) {
                // Not one of the file errors writeFiles names: said as it came.
                self->finish(
                    { false, exportFailedTitle, "Could not save the export: " + ran.error().message() + ".", {} });
                return;
            }
            self->finish(*outcome);
        });
}

void GraphExport::finish(const Outcome& outcome)
{
    if (outcome.succeeded)
        log("Exported graph to " + outcome.paths[0].string() + " and " + outcome.paths[1].string());
    else
        log("Could not export graph: " + outcome.message);
    if (auto finished = std::exchange(m_finished, nullptr))
        finished(outcome);
}

GraphExport::Outcome GraphExport::writeFiles(const Job& job, std::vector<CsvSample> samples)
{
    std::string csv = graphCsv(std::move(samples), job.kind.series, job.range);
    std::filesystem::path folder = platform::userDocumentsFolder(job.documents) / exportFolderName;
    std::string stem = exportFileStem(job.kind.name, job.day, job.range.zone);
    platform::NewFilesResult written = platform::writeNewFiles(folder, stem, { { ".csv", csv }, { ".png", job.png } });
    if (!written.succeeded())
        return { false, exportFailedTitle, exportFailureMessage(*written.failure), {} };
    return { true, exportSavedTitle,
        exportSavedMessage(written.paths[0], written.paths[1], platform::homeFolder(job.documents)), written.paths };
}

std::shared_ptr<platform::AlertView> GraphExport::alertFor(const Outcome& outcome)
{
    if (!outcome.succeeded || outcome.paths.empty())
        return platform::AlertView::create(outcome.title, outcome.message, nullptr, "OK");
    auto alert = platform::AlertView::create(outcome.title, outcome.message, nullptr, "OK", { exportOpenFolderButton });
    alert->onButtonClicked = [folder = outcome.paths[0].parent_path()](int index) {
        if (index == 1)
            platform::openFolder(folder);
    };
    return alert;
}

}
