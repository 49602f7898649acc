#include "devices/LogTabViewController.h"

#include "net/Endpoints.h"
#include "net/ServiceEnvironment.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/Animator.h"
#include "platform/ui/Keyboard.h"

#include <algorithm>
#include <utility>

namespace hestio {

using namespace platform;

std::shared_ptr<LogTabViewController> LogTabViewController::create(std::shared_ptr<Session> session)
{
    return std::make_shared<LogTabViewController>(std::move(session));
}

LogTabViewController::LogTabViewController(std::shared_ptr<Session> session)
    : m_kept(std::move(session), "activities")
{
    setTitle("Log");
}

LogTabViewController::~LogTabViewController()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    for (const auto& alert : Application::shared().visibleAlerts()) {
        if (alert->delegate() == this)
            alert->setDelegate(nullptr);
    }
    if (logTableView) {
        logTableView->setDataSource(nullptr);
        logTableView->setDelegate(nullptr);
    }
}

std::shared_ptr<WebServiceConnectorDelegate> LogTabViewController::selfAsDelegate()
{
    return std::dynamic_pointer_cast<LogTabViewController>(shared_from_this());
}

void LogTabViewController::loadView()
{
    auto root = View::create({ 0, 0, 320, 367 });
    root->setBackgroundColor(Color::hex(0xe4e7ec));
    root->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);

    // The field and the Post button sit at the bottom, above the tab bar: the
    // screen moves up by the keyboard's shift while typing, which brings them
    // just above the keyboard (at the top they would go under the bar).
    logTextField = TextField::create({ 10, 326, 232, 31 });
    logTextField->setAccessibilityIdentifier("logTextField");
    logTextField->setBorderStyle(TextBorderStyle::RoundedRect);
    logTextField->setPlaceholder("What did you do?");
    logTextField->setReturnKeyType(ReturnKeyType::Done);
    logTextField->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleTopMargin);
    logTextField->setDelegate(this);
    root->addSubview(logTextField);

    sendButton = Button::create(Button::Type::RoundedRect, { 250, 326, 60, 31 });
    sendButton->setAccessibilityIdentifier("sendButton");
    sendButton->setTitle("Post");
    sendButton->setAutoresizingMask(AutoresizingFlexibleLeftMargin | AutoresizingFlexibleTopMargin);
    sendButton->addTarget(ControlEventTouchUpInside, [this](Control&) { sendLogPost(); });
    root->addSubview(sendButton);

    logTableView = TableView::create({ 0, 0, 320, 317 }, TableViewStyle::Grouped);
    logTableView->setAccessibilityIdentifier("logTableView");
    logTableView->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
    logTableView->setDataSource(this);
    logTableView->setDelegate(this);
    root->addSubview(logTableView);
    setView(root);
}

void LogTabViewController::viewDidLoad()
{
    data.clear();
    auto& center = NotificationCenter::defaultCenter();
    std::weak_ptr<LogTabViewController> weakSelf = std::static_pointer_cast<LogTabViewController>(shared_from_this());
    // Each sign-in brings its user's list: also the one that was still under
    // way at launch when the tab was first opened.
    center.addObserver(this, "UserLoggedIn", [weakSelf](const Notification&) {
        if (auto screen = weakSelf.lock())
            screen->downloadActivities();
    });
    center.addObserver(this, "UserLoggedOut", [weakSelf](const Notification&) {
        if (auto screen = weakSelf.lock())
            screen->reset();
    });
    center.addObserver(this, OfflineStore::stateChanged, [weakSelf](const Notification&) {
        if (auto screen = weakSelf.lock())
            screen->offlineStateChanged();
    });
    if (logTableView) {
        m_offlineEmpty.attach(*logTableView, Color::rgb(0.3, 0.33, 0.38), [weakSelf] {
            if (auto screen = weakSelf.lock())
                screen->retryDownload();
        });
    }
    // The list of the last run shows at once, while the sign-in and the
    // download run.
    if (auto kept = m_kept.takeKept())
        dataReceived(true, *kept, 0);
    // Without a session the request would go out without a token and be
    // refused; the sign-in's notification starts it instead.
    if (signedIn())
        downloadActivities();
}

void LogTabViewController::offlineStateChanged()
{
    updateOfflineBar();
    // Back online with the last run's list on screen: the live one replaces it.
    if (!m_kept.offline() && m_kept.showsKept() && signedIn())
        downloadActivities();
}

void LogTabViewController::updateOfflineBar()
{
    if (!isViewLoaded())
        return;
    m_offlineBar.update(*this, m_kept.barText());
    bool wasShown = m_offlineEmpty.isShown();
    m_offlineEmpty.update(m_kept.offline() && data.empty());
    // The list's headers go with its rows while the state stands in for them.
    if (wasShown != m_offlineEmpty.isShown() && logTableView)
        logTableView->reloadData();
}

void LogTabViewController::retryDownload()
{
    // Not signed in (the sign-in at launch could not reach the service):
    // signing in again downloads the list on "UserLoggedIn".
    m_kept.signInAgainIfOffline();
    if (signedIn())
        downloadActivities();
}

bool LogTabViewController::signedIn()
{
    const auto& currentToken = ServiceEnvironment::shared().currentToken;
    return currentToken && currentToken().has_value();
}

void LogTabViewController::downloadActivities()
{
    if (activitysWSC && activitysWSC->isRunning())
        return;
    activitysWSC = WebServiceConnector::create(endpoints::kActivityList.path, std::nullopt, false);
    activitysWSC->setDelegate(selfAsDelegate());
    activitysWSC->startConnectionForDownload(true);
}

void LogTabViewController::reset()
{
    // The list was the user's who left. Posts already sent still run to their
    // replies (and are logged) but no longer change what is shown.
    if (activitysWSC) {
        activitysWSC->cancel();
        activitysWSC.reset();
    }
    ++m_listGeneration;
    data.clear();
    m_kept.clear();
    updateOfflineBar();
    m_addedHere.clear();
    m_activityToRepeat = {};
    selectedIndex = -1;
    if (logTableView)
        logTableView->reloadData();
}

void LogTabViewController::viewDidUnload()
{
    NotificationCenter::defaultCenter().removeObserver(this, "UserLoggedIn");
    NotificationCenter::defaultCenter().removeObserver(this, "UserLoggedOut");
    if (logTableView) {
        logTableView->setDataSource(nullptr);
        logTableView->setDelegate(nullptr);
    }
    if (logTextField)
        logTextField->setDelegate(nullptr);
    logTextField.reset();
    sendButton.reset();
    logTableView.reset();
    data.clear();
}

void LogTabViewController::viewDidAppear(bool animated)
{
    ViewController::viewDidAppear(animated);
    updateOfflineBar();
    selectedIndex = -1;
    if (m_observingKeyboard)
        return;
    m_observingKeyboard = true;
    auto& center = NotificationCenter::defaultCenter();
    center.addObserver(this, Keyboard::willShowNotification, [this](const Notification&) { keyboardWillShow(); });
    center.addObserver(this, Keyboard::willHideNotification, [this](const Notification&) { keyboardWillHide(); });
}

void LogTabViewController::viewDidDisappear(bool animated)
{
    ViewController::viewDidDisappear(animated);
    NotificationCenter::defaultCenter().removeObserver(this, Keyboard::willShowNotification);
    NotificationCenter::defaultCenter().removeObserver(this, Keyboard::willHideNotification);
    m_observingKeyboard = false;
}

void LogTabViewController::keyboardWillShow()
{
    animateTextField(true);
}

void LogTabViewController::keyboardWillHide()
{
    animateTextField(false);
}

void LogTabViewController::animateTextField(bool up)
{
    auto& animator = Animator::current();
    animator.beginAnimations("anim");
    animator.setAnimationBeginsFromCurrentState(true);
    animator.setAnimationDuration(shiftSeconds);
    Rect frame = view()->frame();
    frame.origin.y += up ? -keyboardShift : keyboardShift;
    view()->setFrame(frame);
    animator.commitAnimations();
}

bool LogTabViewController::textFieldShouldReturn(TextField& field)
{
    field.resignFirstResponder();
    return true;
}

std::int64_t LogTabViewController::nowMilliseconds()
{
    return static_cast<std::int64_t>(RunLoop::current().clock().now().timeIntervalSince1970() * 1000);
}

void LogTabViewController::sendLogPost()
{
    std::string text = logTextField->text();
    std::int64_t ms = nowMilliseconds();
    if (text.empty())
        return;
    logTextField->resignFirstResponder();
    logTableView->beginUpdates();
    data.insert(
        data.begin(), json::Value::dictionary({ { "title", text }, { "timestamp", json::Value::integer(ms) } }));
    logTableView->insertRowsAtIndexPaths({ { 1, 0 } }, TableViewRowAnimation::Top);
    logTableView->endUpdates();
    logTextField->setText("");
    m_addedHere.push_back(data.front());

    postActivityWSC = WebServiceConnector::create(endpoints::kActivityCreate.path,
        "new=true&activity=" + escapeParameter(text) + "&timestamp=" + std::to_string(ms), true);
    postActivityWSC->setContext(ActivityPost { ActivityPost::Kind::NewActivity, text, data.front(), m_listGeneration });
    postActivityWSC->setDelegate(selfAsDelegate());
    postActivityWSC->startConnectionForDownload(false);
    selectedIndex = 0;
}

void LogTabViewController::postOccurrence(const std::string& title)
{
    postActivityWSC = WebServiceConnector::create(endpoints::kActivityRepeat.path,
        "activity=" + escapeParameter(title) + "&timestamp=" + std::to_string(nowMilliseconds()), true);
    postActivityWSC->setContext(ActivityPost { ActivityPost::Kind::Occurrence, title, {}, m_listGeneration });
    postActivityWSC->setDelegate(selfAsDelegate());
    postActivityWSC->startConnectionForDownload(false);
}

void LogTabViewController::postRepeatActivity()
{
    // The row asked about, wherever rows added or withdrawn meanwhile have
    // moved it; gone (a new activity the service refused), nothing is posted.
    if (json::Value asked = std::exchange(m_activityToRepeat, {}); !asked.isNone()) {
        auto found = std::find_if(
            data.begin(), data.end(), [&](const json::Value& entry) { return entry.isSameObject(asked); });
        if (found == data.end()) {
            // The list was downloaded again under the alert.
            found = std::find_if(data.begin(), data.end(),
                [&](const json::Value& entry) { return entry["title"].stringValue() == asked["title"].stringValue(); });
        }
        if (found == data.end())
            return;
        selectedIndex = static_cast<int>(found - data.begin());
    }
    if (selectedIndex < 0 || selectedIndex >= static_cast<int>(data.size()))
        return;
    postOccurrence(std::string(data[static_cast<std::size_t>(selectedIndex)]["title"].stringValue()));
}

void LogTabViewController::didSelectRowAtIndexPath(TableView& table, IndexPath path)
{
    selectedIndex = path.row;
    table.deselectRowAtIndexPath(path, true);
    if (path.row < 0 || path.row >= static_cast<int>(data.size()))
        return;
    m_activityToRepeat = data[static_cast<std::size_t>(path.row)];
    std::string title(m_activityToRepeat["title"].stringValue());
    AlertView::create("Are you sure?", "Post activity: " + title + "?", this, "Cancel", { "Yes" })->show();
}

void LogTabViewController::alertViewClickedButtonAtIndex(AlertView&, int index)
{
    if (index == 1)
        postRepeatActivity();
}

void LogTabViewController::dataReceived(bool success, const json::Value& reply, int)
{
    if (!success) {
        log("Failed to received activities from server");
        return;
    }
    const json::Value& activities = reply["activities"];
    auto listed = [&](std::string_view title) {
        for (std::size_t i = 0; i < activities.count(); ++i) {
            if (activities[i]["title"].stringValue() == title)
                return true;
        }
        return false;
    };
    // Activities added here that the list does not hold yet (their posts
    // are on their way) stay at the top.
    std::vector<json::Value> kept;
    for (const auto& entry : data) {
        if (std::any_of(
                m_addedHere.begin(), m_addedHere.end(), [&](const auto& added) { return added.isSameObject(entry); })
            && !listed(entry["title"].stringValue()))
            kept.push_back(entry);
    }
    data = std::move(kept);
    for (std::size_t i = 0; i < activities.count(); ++i)
        data.push_back(activities[i]);
    if (logTableView)
        logTableView->reloadData();
}

void LogTabViewController::requestFinished(WebServiceConnector& request, bool success, const json::Value& reply)
{
    if (const auto* post = request.context<ActivityPost>()) {
        postFinished(*post, success);
        return;
    }
    if (&request != activitysWSC.get())
        return;
    if (success)
        m_kept.showsLive(request);
    dataReceived(success, reply, request.tag());
    updateOfflineBar();
}

void LogTabViewController::requestFailed(WebServiceConnector& request, const TransportError&)
{
    // The request object has shown the network-failure panel; a failed
    // download has nothing more to undo.
    if (const auto* post = request.context<ActivityPost>())
        postFinished(*post, false);
}

void LogTabViewController::postFinished(const ActivityPost& post, bool saved)
{
    bool sameList = post.listGeneration == m_listGeneration;
    if (saved) {
        // A new activity also gets its first occurrence, stamped now (not
        // for a user who has signed out meanwhile: it would go out as the next one).
        if (post.kind == ActivityPost::Kind::NewActivity && sameList)
            postOccurrence(post.title);
        log("successfully posted activity to server");
        return;
    }
    if (post.kind == ActivityPost::Kind::NewActivity && sameList)
        withdrawNewActivity(post);
    log("failed to post activity to server");
}

void LogTabViewController::withdrawNewActivity(const ActivityPost& post)
{
    // A new activity the service did not record must not stay listed as if
    // it had been: its own row leaves (others may have been added above it).
    auto found = std::find_if(
        data.begin(), data.end(), [&](const json::Value& entry) { return entry.isSameObject(post.entry); });
    if (found != data.end()) {
        int row = static_cast<int>(found - data.begin());
        if (logTableView)
            logTableView->beginUpdates();
        data.erase(found);
        std::erase_if(m_addedHere, [&](const json::Value& added) { return added.isSameObject(post.entry); });
        if (logTableView) {
            logTableView->deleteRowsAtIndexPaths({ { 1, row } }, TableViewRowAnimation::Top);
            logTableView->endUpdates();
        }
        if (selectedIndex > row)
            --selectedIndex;
    }
    // The typed text goes back into the empty field, so sending it again
    // needs no retyping and nothing the user wrote is lost.
    if (logTextField && logTextField->text().empty())
        logTextField->setText(post.title);
    if (isViewLoaded() && view()->window()) {
        AlertView::create("Activity not saved", "\"" + post.title + "\" was not recorded. Please send it again.",
            nullptr, std::string("OK"))
            ->show();
    }
}

int LogTabViewController::numberOfRowsInSection(TableView&, int section)
{
    return section == 1 ? static_cast<int>(data.size()) : 0;
}

std::optional<std::string> LogTabViewController::titleForHeaderInSection(TableView&, int section)
{
    if (m_offlineEmpty.isShown())
        return std::nullopt;
    return section == 0 ? "Suggested Current Actions" : "User Defined Actions";
}

std::shared_ptr<TableViewCell> LogTabViewController::cellForRowAtIndexPath(TableView& table, IndexPath path)
{
    auto cell = table.dequeueReusableCellWithIdentifier("USER_GENERATED");
    if (!cell) {
        cell = TableViewCell::create(TableViewCellStyle::Default, "USER_GENERATED");
        cell->setSelectionStyle(TableViewCellSelectionStyle::Gray);
    }
    auto* label = cell->textLabel();
    label->setLineBreakMode(LineBreakMode::WordWrap);
    label->setNumberOfLines(2);
    label->setTextAlignment(TextAlignment::Center);
    label->setFont(Font::systemFont(14));
    label->setText(std::string(data[static_cast<std::size_t>(path.row)]["title"].stringValue()));
    return cell;
}

}
