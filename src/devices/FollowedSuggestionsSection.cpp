#include "devices/FollowedSuggestionsSection.h"

#include "model/Device.h"
#include "model/FollowedSavings.h"
#include "model/ShownName.h"
#include "model/Tariff.h"
#include "net/Endpoints.h"
#include "platform/foundation/Locale.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/Profile.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/UserDefaults.h"
#include "session/Session.h"

#include <algorithm>

namespace hestio {

using platform::Date;

namespace {

    FollowedSuggestionCell::Tone toneOf(const std::string& figure)
    {
        if (figure.rfind("\u2212", 0) == 0)
            return FollowedSuggestionCell::Tone::Saved;
        if (figure.rfind("+", 0) == 0)
            return FollowedSuggestionCell::Tone::Spent;
        return FollowedSuggestionCell::Tone::Plain;
    }

    FollowedSuggestionStore storeOf(const std::string& username)
    {
        return FollowedSuggestionStore::forUser(platform::Profile::current().dataDirectory(), username);
    }

}

std::shared_ptr<FollowedSuggestionsSection> FollowedSuggestionsSection::create(std::shared_ptr<Session> session)
{
    return std::make_shared<FollowedSuggestionsSection>(std::move(session));
}

FollowedSuggestionsSection::FollowedSuggestionsSection(std::shared_ptr<Session> session)
    : m_session(std::move(session))
{
}

FollowedSuggestionsSection::~FollowedSuggestionsSection()
{
    cancelRequests();
}

std::optional<std::string> FollowedSuggestionsSection::signedInUsername() const
{
    auto user = m_session ? m_session->curUser() : nullptr;
    if (!user || user->username.empty())
        return std::nullopt;
    return user->username;
}

void FollowedSuggestionsSection::cancelRequests()
{
    for (auto& row : m_rows) {
        if (row.request) {
            row.request->cancel();
            row.request.reset();
        }
    }
}

void FollowedSuggestionsSection::changed()
{
    if (onChange)
        onChange();
}

void FollowedSuggestionsSection::reload()
{
    cancelRequests();
    m_rows.clear();
    m_username = signedInUsername();
    if (m_username) {
        for (auto& followed : storeOf(*m_username).load())
            m_rows.push_back(Row { std::move(followed) });
        for (auto& row : m_rows)
            startFigure(row);
    }
    changed();
}

void FollowedSuggestionsSection::reloadIfUserChanged()
{
    if (signedInUsername() != m_username)
        reload();
}

void FollowedSuggestionsSection::clear()
{
    cancelRequests();
    m_rows.clear();
    m_username.reset();
    changed();
}

void FollowedSuggestionsSection::recordFollow(const std::string& username, FollowedSuggestion followed)
{
    if (username.empty())
        return;
    storeOf(username).record(followed, [text = followed.text](bool kept) {
        if (!kept)
            hestio::log("The followed suggestion \"" + text + "\" could not be kept");
    });
    if (m_username != username)
        return; // that user's rows are read from the file when next shown
    auto earlier = std::find_if(m_rows.begin(), m_rows.end(),
        [&](const Row& row) { return row.followed.suggestionID == followed.suggestionID; });
    if (earlier != m_rows.end()) {
        if (earlier->request)
            earlier->request->cancel();
        m_rows.erase(earlier);
    }
    m_rows.insert(m_rows.begin(), Row { std::move(followed) });
    if (m_rows.size() > FollowedSuggestionStore::capacity) {
        if (m_rows.back().request)
            m_rows.back().request->cancel();
        m_rows.pop_back();
    }
    startFigure(m_rows.front());
    changed();
}

void FollowedSuggestionsSection::startFigure(Row& row)
{
    Date now = platform::RunLoop::current().clock().now();
    platform::TimeZone zone = m_session->householdTimeZone();
    SavingsPeriod period = savingsPeriod(row.followed.followedAt, now, zone);
    row.note.clear();
    row.tone = FollowedSuggestionCell::Tone::Plain;
    if (period.wholeDaysSince == 0) {
        // Nothing to ask for before a whole day has passed.
        Savings waiting;
        waiting.period = period;
        row.state = Row::State::Shown;
        row.figure = savingsFigureText(waiting, std::nullopt, platform::Locale::current());
        return;
    }
    if (row.followed.deviceID.empty()) {
        row.state = Row::State::Failed;
        row.figure = "\u2014 The device is not known";
        return;
    }
    auto device = Device::initWithID(row.followed.deviceID, row.followed.deviceName, {}, zone);
    row.request = WebServiceConnector::create(
        endpoints::kDeviceEnergy.path, device->energyConsumptionParameters(period.beforeStart, period.sinceEnd), false);
    row.request->setContext(EnergyRequest { row.followed.suggestionID, row.followed.followedAt, now, zone });
    row.request->setDelegate(weak_from_this());
    row.state = Row::State::Loading;
    row.figure = loadingText;
    // The row is ready before the request starts: its reply may come at once.
    auto request = row.request;
    request->startConnectionForDownload(true);
}

FollowedSuggestionsSection::Row* FollowedSuggestionsSection::rowOf(WebServiceConnector& request)
{
    const auto* asked = request.context<EnergyRequest>();
    if (!asked)
        return nullptr;
    // Only the row's own, current request: a reply to one dropped by a
    // reload, or to a row since replaced, lands nowhere.
    auto row = std::find_if(m_rows.begin(), m_rows.end(), [&](const Row& each) {
        return each.request.get() == &request && each.followed.suggestionID == asked->suggestionID
            && each.followed.followedAt == asked->followedAt;
    });
    return row == m_rows.end() ? nullptr : &*row;
}

void FollowedSuggestionsSection::requestFinished(WebServiceConnector& request, bool success, const json::Value& data)
{
    Row* row = rowOf(request);
    if (!row)
        return;
    const EnergyRequest asked = *request.context<EnergyRequest>();
    row->request.reset();
    if (!success) {
        hestio::log("Failed to get the energy use of " + shownName(row->followed.deviceName));
        row->state = Row::State::Failed;
        row->figure = "\u2014 The service sent no energy use";
        changed();
        return;
    }
    std::optional<Tariff> tariff;
    if (m_username)
        tariff = Tariff::load(platform::UserDefaults::standard(), *m_username);
    Savings savings = computeSavings(hourlyEnergyOf(data).value_or(std::vector<HourlyEnergy> {}),
        row->followed.followedAt, asked.askedAt, asked.zone, tariff);
    row->state = Row::State::Shown;
    row->figure = savingsFigureText(savings, tariff, platform::Locale::current());
    row->note = savingsNoteText(savings);
    row->tone = toneOf(row->figure);
    changed();
}

void FollowedSuggestionsSection::requestFailed(WebServiceConnector& request, const platform::TransportError&)
{
    // The network-failure panel has been shown.
    Row* row = rowOf(request);
    if (!row)
        return;
    row->request.reset();
    row->state = Row::State::Failed;
    row->figure = "\u2014 Could not reach the service";
    changed();
}

}
