#include "devices/LogTabViewController.h"

#include "app/TabFactories.h"
#include "net/ServiceEnvironment.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/Animator.h"
#include "platform/ui/Keyboard.h"

namespace hestio {

using namespace platform;

std::shared_ptr<ViewController> makeLogTabViewController()
{
    return LogTabViewController::create();
}

std::shared_ptr<LogTabViewController> LogTabViewController::create()
{
    return std::make_shared<LogTabViewController>();
}

LogTabViewController::LogTabViewController()
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
    activitysWSC = WebServiceConnector::create("/api/activity", std::nullopt, false);
    activitysWSC->setDelegate(selfAsDelegate());
    activitysWSC->startConnectionForDownload(true);
}

void LogTabViewController::viewDidUnload()
{
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

    m_createdTitle = text;
    postActivityWSC = WebServiceConnector::create(
        "/api/activity", "new=true&activity=" + escapeParameter(text) + "&timestamp=" + std::to_string(ms), true);
    postActivityWSC->setTag(NewActivityTag);
    postActivityWSC->setDelegate(selfAsDelegate());
    postActivityWSC->startConnectionForDownload(false);
    selectedIndex = 0;
}

void LogTabViewController::postOccurrence(const std::string& title)
{
    postActivityWSC = WebServiceConnector::create("/api/activity",
        "activity=" + escapeParameter(title) + "&timestamp=" + std::to_string(nowMilliseconds()), true);
    postActivityWSC->setTag(OccurrenceTag);
    postActivityWSC->setDelegate(selfAsDelegate());
    postActivityWSC->startConnectionForDownload(false);
}

void LogTabViewController::postRepeatActivity()
{
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
    std::string title(data[static_cast<std::size_t>(path.row)]["title"].stringValue());
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
    data.clear();
    const json::Value& activities = reply["activities"];
    for (std::size_t i = 0; i < activities.count(); ++i)
        data.push_back(activities[i]);
    if (logTableView)
        logTableView->reloadData();
}

void LogTabViewController::dataSent(bool success, int tag)
{
    postActivityWSC.reset(); // answered: a later failure is not this post's
    if (success) {
        // A new activity also gets its first occurrence, stamped now.
        if (tag == NewActivityTag)
            postOccurrence(m_createdTitle);
        log("successfully posted activity to server");
        return;
    }
    if (tag == NewActivityTag)
        withdrawNewActivity();
    log("failed to post activity to server");
}

bool LogTabViewController::requestToServerFailedWithError(const TransportError&, const std::string&)
{
    // A new activity that never reached the service must not stay listed as
    // if it had been recorded: it leaves the list as after a refusal (the
    // request object has shown the network-failure panel already).
    // Only the post that just failed has stopped running; the download
    // failing is the panel's alone.
    if (!postActivityWSC || postActivityWSC->isRunning())
        return true;
    auto failed = std::move(postActivityWSC);
    if (failed->tag() == NewActivityTag)
        withdrawNewActivity();
    log("failed to post activity to server");
    return true;
}

void LogTabViewController::withdrawNewActivity()
{
    if (!data.empty() && logTableView) {
        logTableView->beginUpdates();
        data.erase(data.begin());
        logTableView->deleteRowsAtIndexPaths({ { 1, 0 } }, TableViewRowAnimation::Top);
        logTableView->endUpdates();
    }
    // The typed text goes back into the empty field, so sending it again
    // needs no retyping and nothing the user wrote is lost.
    if (logTextField && logTextField->text().empty())
        logTextField->setText(m_createdTitle);
}

int LogTabViewController::numberOfRowsInSection(TableView&, int section)
{
    return section == 1 ? static_cast<int>(data.size()) : 0;
}

std::optional<std::string> LogTabViewController::titleForHeaderInSection(TableView&, int section)
{
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
