#include "devices/AdviceTableViewController.h"

#include "devices/CustomAdviceCell.h"
#include "devices/FollowedSuggestionCell.h"
#include "model/ShownName.h"
#include "net/Endpoints.h"
#include "net/ServiceEnvironment.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/NavigationController.h"
#include "session/Session.h"
#include "widgets/EmptyListHint.h"
#include "json/Array.h"
#include "json/Dictionary.h"

#include <algorithm>

namespace hestio {

using namespace platform;

std::shared_ptr<AdviceTableViewController> AdviceTableViewController::create(std::shared_ptr<Session> session)
{
    return std::make_shared<AdviceTableViewController>(std::move(session));
}

AdviceTableViewController::AdviceTableViewController(std::shared_ptr<Session> session)
    : m_session(std::move(session))
    , m_kept(m_session, "suggestions")
{
    setTitle("Suggestions");
    if (m_session)
        m_followed = FollowedSuggestionsSection::create(m_session);
}

AdviceTableViewController::~AdviceTableViewController()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    if (auto* loop = RunLoop::currentIfAny())
        loop->cancelDelayed(this);
}

std::shared_ptr<AdviceTableViewController> AdviceTableViewController::self()
{
    return std::static_pointer_cast<AdviceTableViewController>(shared_from_this());
}

void AdviceTableViewController::viewDidLoad()
{
    BaseTabViewController::viewDidLoad();
    navigationItem().setTitle("Suggestions");
    std::weak_ptr<AdviceTableViewController> weakSelf = self();
    NotificationCenter::defaultCenter().addObserver(this, "UserLoggedOut", [weakSelf](const auto&) {
        if (auto screen = weakSelf.lock())
            screen->reset();
    });
    // Signed in while the list is on screen (behind the login screen, or
    // silently at start): it fills now rather than on the next appearance.
    NotificationCenter::defaultCenter().addObserver(this, "UserLoggedIn", [weakSelf](const auto&) {
        auto screen = weakSelf.lock();
        if (screen && !screen->m_listReceived && !screen->m_receiverWSC && screen->view()->window())
            screen->refresh();
    });

    m_noSuggestionsLabel = makeEmptyListHint(
        "No suggestions right now.\nPull down to check again.", "noSuggestionsLabel", Color::white(0.5));
    tableView().addSubview(m_noSuggestionsLabel);
    m_offlineEmpty.attach(tableView(), Color::white(0.5), [weakSelf] {
        if (auto screen = weakSelf.lock())
            screen->refresh();
    });

    setNumberOfNewItems(0);

    if (m_followed) {
        m_followed->onChange = [weakSelf] {
            if (auto screen = weakSelf.lock())
                screen->followedSectionChanged();
        };
    }
    NotificationCenter::defaultCenter().addObserver(this, OfflineStore::stateChanged, [weakSelf](const auto&) {
        if (auto screen = weakSelf.lock())
            screen->offlineStateChanged();
    });
    // The list of the last run shows at once, while the sign-in and the
    // download run; it still counts as not received, so the live one comes.
    if (!m_listReceived) {
        if (auto kept = m_kept.takeKept()) {
            dataReceived(true, *kept, 0);
            m_listReceived = false;
        }
    }
}

void AdviceTableViewController::offlineStateChanged()
{
    updateOfflineBar();
    // Back online with the last run's list on screen: the live one replaces it.
    if (m_session && !m_session->offline().isOffline() && m_kept.showsKept() && signedIn() && isViewLoaded()
        && view()->window())
        refresh();
}

void AdviceTableViewController::updateOfflineBar()
{
    if (!isViewLoaded())
        return;
    m_offlineBar.update(*this, m_kept.barText());
    // A live list known to be empty says so itself ("No suggestions right now").
    m_offlineEmpty.update(m_kept.offline() && !m_listReceived && rooms.empty() && !followedSectionIndex());
}

void AdviceTableViewController::viewDidAppear(bool animated)
{
    BaseTabViewController::viewDidAppear(animated);
    updateOfflineBar();
    // Only the five-minute rule would leave the first tab empty at every
    // sign-in, under a "no suggestions" line, while the household has some;
    // a list that has never been downloaded is downloaded when it appears.
    // The stale test comes first: its first reading starts the five minutes.
    bool stale = lastRefreshIsStale();
    if (stale || (!m_listReceived && signedIn()))
        refresh();
    else if (m_followed)
        m_followed->reloadIfUserChanged();
}

bool AdviceTableViewController::signedIn()
{
    const auto& currentToken = ServiceEnvironment::shared().currentToken;
    return currentToken && currentToken().has_value();
}

void AdviceTableViewController::viewDidUnload()
{
    m_noSuggestionsLabel.reset();
    NotificationCenter::defaultCenter().removeObserver(this);
    BaseTabViewController::viewDidUnload();
}

void AdviceTableViewController::refresh()
{
    std::weak_ptr<AdviceTableViewController> weakSelf = self();
    // Signing in again first: the list downloads once it is done.
    bool waitsForSignIn = m_kept.signInAgainIfOffline([weakSelf] {
        if (auto screen = weakSelf.lock(); screen && screen->isViewLoaded())
            screen->stopLoading();
    });
    if (waitsForSignIn)
        return;
    RunLoop::current().postDelayed(
        0,
        [weakSelf] {
            auto screen = weakSelf.lock();
            if (!screen)
                return;
            screen->downloadSuggestionsFromServer();
            // A pull also asks again what each followed suggestion changed.
            if (screen->m_followed)
                screen->m_followed->reload();
        },
        this);
}

void AdviceTableViewController::downloadSuggestionsFromServer()
{
    // One download at a time: its reply serves every request for it.
    if (m_receiverWSC && m_receiverWSC->isRunning())
        return;
    m_answeredDuringDownload.clear();
    m_receiverWSC
        = WebServiceConnector::create(endpoints::kDeviceSuggestions.path, std::string("suggestion=true"), false);
    m_receiverWSC->setDelegate(self());
    m_receiverWSC->startConnectionForDownload(true);
}

void AdviceTableViewController::requestFinished(WebServiceConnector& request, bool success, const json::Value& data)
{
    if (const auto* answer = request.context<AnswerRequest>()) {
        answerFinished(*answer, success ? Outcome::Saved : Outcome::Refused);
        return;
    }
    if (&request != m_receiverWSC.get())
        return; // a download of a list since emptied by a sign-out
    if (success)
        m_kept.showsLive(request);
    dataReceived(success, data, request.tag());
    updateOfflineBar();
}

void AdviceTableViewController::requestFailed(WebServiceConnector& request, const TransportError&)
{
    // The network-failure panel has been shown.
    if (const auto* answer = request.context<AnswerRequest>()) {
        answerFinished(*answer, Outcome::Lost);
        return;
    }
    if (&request != m_receiverWSC.get())
        return;
    // A refresh that was under way ends so that the next pull can start.
    m_receiverWSC.reset();
    m_answeredDuringDownload.clear();
    stopLoading();
    updateOfflineBar();
}

void AdviceTableViewController::dataReceived(bool success, const json::Value& data, int)
{
    m_receiverWSC.reset();
    auto answeredMeanwhile = std::move(m_answeredDuringDownload);
    m_answeredDuringDownload.clear();
    if (!success) {
        hestio::log("Failed to get data from server");
        // A failed download ends the loading state; the list keeps what it showed.
        stopLoading();
        return;
    }
    auto answered = [&](std::int32_t id) { return m_answersInFlight.contains(id) || answeredMeanwhile.contains(id); };
    std::map<std::string, std::vector<std::shared_ptr<Suggestion>>> grouped;
    int total = 0;
    const json::Value& devices = data["devices"];
    for (std::size_t i = 0; i < devices.count(); ++i) {
        const json::Value& device = devices[i];
        const json::Value& suggestions = device["suggestions"];
        for (std::size_t s = 0; s < suggestions.count(); ++s) {
            auto suggestion = Suggestion::fromJSON(device, suggestions[s]);
            if (answered(suggestion->suggestionID))
                continue;
            ++total;
            grouped[suggestion->location].push_back(std::move(suggestion));
        }
    }
    adviceData = std::move(grouped);
    m_listReceived = true;
    rooms.clear();
    for (const auto& [room, list] : adviceData)
        rooms.push_back(room); // std::map orders keys by plain byte comparison
    setNumberOfNewItems(total);
    tableView().reloadData();
    stopLoading();
}

void AdviceTableViewController::answerFinished(const AnswerRequest& answer, Outcome outcome)
{
    // Kept only once the service has taken the follow, also when its user
    // has signed out since.
    if (outcome == Outcome::Saved && answer.answer == Answer::Follow && m_followed) {
        const auto& suggestion = *answer.suggestion;
        m_followed->recordFollow(answer.username,
            FollowedSuggestion { suggestion.suggestionID, suggestion.name, suggestion.deviceID, suggestion.targetDevice,
                RunLoop::current().clock().now() });
    }
    if (answer.listGeneration != m_listGeneration) {
        // Sent for the user who has signed out since: only logged (the kept
        // list, if any, is another user's now).
        if (outcome != Outcome::Lost)
            hestio::log(outcome == Outcome::Saved ? "Data sent successfully" : "Errored while sending.");
        return;
    }
    if (auto found = m_answersInFlight.find(answer.suggestion->suggestionID); found != m_answersInFlight.end())
        m_answersInFlight.erase(found);
    switch (outcome) {
    case Outcome::Saved:
        hestio::log("Data sent successfully");
        // The next run's list, until a live one comes, does not offer it again.
        dropFromKeptList(answer.suggestion->suggestionID);
        if (m_receiverWSC && m_receiverWSC->isRunning())
            m_answeredDuringDownload.insert(answer.suggestion->suggestionID);
        return;
    case Outcome::Refused:
        hestio::log("Errored while sending.");
        // The row does not silently stay away as if answered. Whether the
        // service still offers the suggestion (it may have been answered
        // elsewhere, or have lapsed) only its list can say: fetch it again.
        if (isViewLoaded() && view()->window()) {
            AlertView::create("Answer not saved",
                "The service did not accept your answer to \"" + answer.suggestion->name + "\".", nullptr,
                std::string("OK"))
                ->show();
        }
        refresh();
        return;
    case Outcome::Lost:
        // The network-failure panel has said so. The service still has the
        // suggestion, so the list shows it again to be answered once more.
        restore(answer);
        return;
    }
}

void AdviceTableViewController::dropFromKeptList(std::int32_t suggestionID)
{
    m_kept.amendKept([suggestionID](const json::Value& reply) -> std::optional<json::Value> {
        const json::Value& devices = reply["devices"];
        for (std::size_t i = 0; i < devices.count(); ++i) {
            const json::Value& suggestions = devices[i]["suggestions"];
            for (std::size_t s = 0; s < suggestions.count(); ++s) {
                // Read as the list reads it.
                if (static_cast<std::int32_t>(suggestions[s]["id"].integerValue()) != suggestionID)
                    continue;
                json::Value list = suggestions.mutableCopy();
                list.asArray()->removeObjectAtIndex(s);
                json::Value device = devices[i].mutableCopy();
                device.asDictionary()->setObject(list, json::Value::string("suggestions"));
                json::Value allDevices = devices.mutableCopy();
                allDevices.asArray()->removeObjectAtIndex(i);
                allDevices.asArray()->insertObject(device, i);
                json::Value amended = reply.mutableCopy();
                amended.asDictionary()->setObject(allDevices, json::Value::string("devices"));
                return amended;
            }
        }
        return std::nullopt;
    });
}

void AdviceTableViewController::restore(const AnswerRequest& answer)
{
    const auto& suggestion = answer.suggestion;
    auto& list = adviceData[suggestion->location];
    bool listed = std::any_of(
        list.begin(), list.end(), [&](const auto& each) { return each->suggestionID == suggestion->suggestionID; });
    if (listed)
        return;
    list.insert(list.begin() + std::clamp<std::ptrdiff_t>(answer.row, 0, std::ssize(list)), suggestion);
    if (std::find(rooms.begin(), rooms.end(), suggestion->location) == rooms.end())
        rooms.insert(std::lower_bound(rooms.begin(), rooms.end(), suggestion->location), suggestion->location);
    if (isViewLoaded())
        tableView().reloadData();
    setNumberOfNewItems(m_numberOfNewItems + 1);
}

void AdviceTableViewController::cellButtonPressed(Button& button)
{
    std::string state = button.tag() != 0 ? "IGNORED" : "FOLLOWED";
    View* cell = button.superview() ? button.superview()->superview() : nullptr;
    auto* tableCell = dynamic_cast<TableViewCell*>(cell);
    if (!tableCell)
        return;
    auto path = tableView().indexPathForCell(*tableCell);
    if (!path || path->section >= static_cast<int>(rooms.size()))
        return;
    std::string room = rooms[static_cast<std::size_t>(path->section)];
    auto& list = adviceData[room];
    if (path->row >= static_cast<int>(list.size()))
        return;
    auto suggestion = list[static_cast<std::size_t>(path->row)];

    // Each answer is its own request and lives to its reply, however quickly
    // the next one follows.
    m_senderWSC = WebServiceConnector::create(endpoints::kSuggestionAnswer.path,
        "sug_id=" + std::to_string(suggestion->suggestionID) + "&state=" + state, true);
    auto user = m_session ? m_session->curUser() : nullptr;
    m_senderWSC->setContext(AnswerRequest { suggestion, button.tag() != 0 ? Answer::Ignore : Answer::Follow,
        user ? user->username : std::string(), path->row, m_listGeneration });
    m_senderWSC->setDelegate(self());
    m_answersInFlight.insert(suggestion->suggestionID);
    m_senderWSC->startConnectionForDownload(false);

    list.erase(list.begin() + path->row);
    if (!list.empty()) {
        tableView().deleteRowsAtIndexPaths({ *path }, TableViewRowAnimation::Right);
    } else {
        adviceData.erase(room);
        rooms.erase(rooms.begin() + path->section);
        tableView().deleteSections({ path->section }, TableViewRowAnimation::Right);
    }
    setNumberOfNewItems(m_numberOfNewItems - 1);
}

void AdviceTableViewController::setNumberOfNewItems(int count)
{
    m_numberOfNewItems = count;
    getAdviceCount();
}

int AdviceTableViewController::getAdviceCount()
{
    int count = 0;
    for (const auto& [room, list] : adviceData)
        count += static_cast<int>(list.size());
    TabBarItem* item = navigationController() ? &navigationController()->tabBarItem() : &tabBarItem();
    if (count != 0) {
        item->setBadgeValue(std::to_string(m_numberOfNewItems));
        Application::shared().setApplicationIconBadgeNumber(m_numberOfNewItems);
    } else {
        item->setBadgeValue(std::nullopt);
        Application::shared().setApplicationIconBadgeNumber(0);
    }
    // Before the first reply the list is not known to be empty.
    if (m_noSuggestionsLabel)
        m_noSuggestionsLabel->setHidden(count != 0 || !m_listReceived);
    placeEmptyListHint();
    return count;
}

void AdviceTableViewController::reset()
{
    // The download was for the user who left; answers already sent still
    // run to their replies but no longer touch the list.
    if (m_receiverWSC) {
        m_receiverWSC->cancel();
        m_receiverWSC.reset();
    }
    ++m_listGeneration;
    m_answersInFlight.clear();
    m_answeredDuringDownload.clear();
    adviceData.clear();
    rooms.clear();
    m_listReceived = false;
    m_kept.clear();
    updateOfflineBar();
    if (m_noSuggestionsLabel)
        m_noSuggestionsLabel->setHidden(true);
    clearLastRefreshedDate();
    if (m_followed)
        m_followed->clear();
    if (isViewLoaded())
        tableView().reloadData();
}

std::optional<int> AdviceTableViewController::followedSectionIndex() const
{
    if (!m_followed || m_followed->rows().empty())
        return std::nullopt;
    return static_cast<int>(rooms.size());
}

void AdviceTableViewController::followedSectionChanged()
{
    if (!isViewLoaded())
        return;
    tableView().reloadData();
    placeEmptyListHint();
}

void AdviceTableViewController::placeEmptyListHint()
{
    if (!m_noSuggestionsLabel || !isViewLoaded())
        return;
    // The label sits where the first rows would be; rows of followed
    // suggestions there push it below them.
    constexpr double usualTop = 140;
    Rect frame = m_noSuggestionsLabel->frame();
    double top = usualTop;
    if (auto section = followedSectionIndex())
        top = std::max(usualTop, tableView().rectForSection(*section).maxY() + 16);
    if (frame.origin.y != top)
        m_noSuggestionsLabel->setFrame({ frame.origin.x, top, frame.size.width, frame.size.height });
}

int AdviceTableViewController::numberOfSectionsInTableView(TableView&)
{
    return static_cast<int>(rooms.size()) + (followedSectionIndex() ? 1 : 0);
}

int AdviceTableViewController::numberOfRowsInSection(TableView&, int section)
{
    if (section == followedSectionIndex())
        return static_cast<int>(m_followed->rows().size());
    if (section < 0 || section >= static_cast<int>(rooms.size()))
        return 0;
    auto found = adviceData.find(rooms[static_cast<std::size_t>(section)]);
    return found == adviceData.end() ? 0 : static_cast<int>(found->second.size());
}

std::optional<std::string> AdviceTableViewController::titleForHeaderInSection(TableView&, int section)
{
    if (section == followedSectionIndex())
        return std::string(FollowedSuggestionsSection::title);
    if (section < 0 || section >= static_cast<int>(rooms.size()))
        return std::nullopt;
    return rooms[static_cast<std::size_t>(section)];
}

void AdviceTableViewController::didSelectRowAtIndexPath(TableView& table, IndexPath path)
{
    table.deselectRowAtIndexPath(path, false);
    if (path.section == followedSectionIndex()) {
        const auto& rows = m_followed->rows();
        if (path.row < 0 || path.row >= static_cast<int>(rows.size()))
            return;
        const auto& row = rows[static_cast<std::size_t>(path.row)];
        std::string message = row.followed.text + "\n\n" + row.figure;
        if (!row.note.empty())
            message += "\n" + row.note;
        AlertView::create(shownName(row.followed.deviceName), message, nullptr, std::string("OK"))->show();
        return;
    }
    if (path.section < 0 || path.section >= static_cast<int>(rooms.size()))
        return;
    const auto& list = adviceData[rooms[static_cast<std::size_t>(path.section)]];
    if (path.row < 0 || path.row >= static_cast<int>(list.size()))
        return;
    const auto& suggestion = list[static_cast<std::size_t>(path.row)];
    AlertView::create(safeName(suggestion->targetDevice), suggestion->name, nullptr, std::string("OK"))->show();
}

double AdviceTableViewController::heightForRowAtIndexPath(TableView& table, IndexPath path)
{
    if (path.section == followedSectionIndex())
        return FollowedSuggestionCell::rowHeight;
    if (path.section < 0 || path.section >= static_cast<int>(rooms.size()))
        return CustomAdviceCell::rowHeight;
    const auto& list = adviceData[rooms[static_cast<std::size_t>(path.section)]];
    if (path.row < 0 || path.row >= static_cast<int>(list.size()))
        return CustomAdviceCell::rowHeight;
    // The row grows with larger text to show the whole suggestion.
    const auto& suggestion = list[static_cast<std::size_t>(path.row)];
    return CustomAdviceCell::rowHeightFor(safeName(suggestion->targetDevice), suggestion->name, table.frame().width());
}

std::shared_ptr<TableViewCell> AdviceTableViewController::cellForRowAtIndexPath(TableView& table, IndexPath path)
{
    if (path.section == followedSectionIndex()) {
        static const std::string followedIdentifier = "FollowedSuggestionIdentifier";
        auto cell = std::dynamic_pointer_cast<FollowedSuggestionCell>(
            table.dequeueReusableCellWithIdentifier(followedIdentifier));
        if (!cell)
            cell = FollowedSuggestionCell::create(followedIdentifier);
        const auto& row = m_followed->rows()[static_cast<std::size_t>(path.row)];
        cell->deviceLabel().setText(shownName(row.followed.deviceName));
        cell->adviceLabel().setText(row.followed.text);
        cell->setFigure(row.figure, row.note, row.tone, row.state == FollowedSuggestionsSection::Row::State::Loading);
        cell->setSelectionStyle(TableViewCellSelectionStyle::None);
        return cell;
    }
    static const std::string identifier = "AdviceTableIdentifier";
    auto cell = std::dynamic_pointer_cast<CustomAdviceCell>(table.dequeueReusableCellWithIdentifier(identifier));
    if (!cell)
        cell = CustomAdviceCell::create(identifier);
    const auto& suggestion
        = adviceData[rooms[static_cast<std::size_t>(path.section)]][static_cast<std::size_t>(path.row)];
    cell->deviceLabel().setText(safeName(suggestion->targetDevice));
    cell->adviceLabel().setText(suggestion->name);
    cell->setSelectionStyle(TableViewCellSelectionStyle::None);
    std::weak_ptr<AdviceTableViewController> weakSelf = self();
    for (const auto& button : { cell->likeButton(), cell->dislikeButton() }) {
        button->removeAllTargets();
        button->addTarget(ControlEventTouchUpInside, [weakSelf](Control& sender) {
            if (auto screen = weakSelf.lock())
                screen->cellButtonPressed(static_cast<Button&>(sender));
        });
    }
    return cell;
}

}
