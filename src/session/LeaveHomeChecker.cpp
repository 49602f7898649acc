#include "session/LeaveHomeChecker.h"

#include "model/ShownName.h"
#include "net/Endpoints.h"
#include "net/ServiceEnvironment.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Application.h"
#include "session/Session.h"

#include <algorithm>
#include <charconv>
#include <string_view>

namespace hestio {

using namespace platform;

namespace {

    struct ListDownload {
        unsigned check;
        std::string username;
    };

    constexpr const char* unreachable = "the service could not be reached.";
    constexpr const char* unreadable = "the service's answer could not be read.";
    constexpr const char* refusedWithoutReason = "the service refused.";
    constexpr const char* actionKeyPrefix = "switch-off-";
    constexpr const char* homeKey = "home";
    constexpr const char* notHomeKey = "not-home";

    /// Closes `alert` (if any) without telling its delegate, and forgets it.
    void close(std::shared_ptr<AlertView>& alert)
    {
        if (!alert)
            return;
        auto closing = std::move(alert);
        alert.reset();
        closing->setDelegate(nullptr);
        if (closing->isVisible())
            closing->dismissWithClickedButtonIndex(closing->cancelButtonIndex(), false);
    }

}

struct LeaveHomeChecker::SwitchOffSent {
    unsigned check;
    std::size_t index;
    std::string name;
    std::shared_ptr<Device> device;
    std::string username;
};

std::shared_ptr<LeaveHomeChecker> LeaveHomeChecker::create(std::weak_ptr<Session> session)
{
    auto checker = std::make_shared<LeaveHomeChecker>(std::move(session));
    std::weak_ptr<LeaveHomeChecker> weak = checker;
    NotificationCenter::defaultCenter().addObserver(checker.get(), "UserLoggedOut", [weak](const auto&) {
        if (auto self = weak.lock())
            self->cancel();
    });
    return checker;
}

LeaveHomeChecker::LeaveHomeChecker(std::weak_ptr<Session> session)
    : m_session(std::move(session))
{
}

LeaveHomeChecker::~LeaveHomeChecker()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    for (auto* alert : { m_alert.get(), m_question.get() })
        if (alert)
            alert->setDelegate(nullptr);
}

std::string LeaveHomeChecker::switchedOffText(const std::string& name)
{
    return name + " switched off";
}

std::string LeaveHomeChecker::notSwitchedOffText(const std::string& name, const std::string& reason)
{
    return name + " was not switched off: " + reason;
}

std::string LeaveHomeChecker::questionText(const std::string& place)
{
    return "You left \"" + shownName(place)
        + "\". Is it your home? Leaving home checks what is still on there; the account screen's \"When You "
          "Leave\" section says which places count as home.";
}

bool LeaveHomeChecker::signedIn(const std::string& username) const
{
    auto session = m_session.lock();
    auto user = session ? session->curUser() : nullptr;
    return user && user->username == username;
}

void LeaveHomeChecker::check()
{
    auto session = m_session.lock();
    auto user = session ? session->curUser() : nullptr;
    if (!user)
        return;
    if (LeaveHomeThreshold::load(UserDefaults::standard(), user->username).isOff()) {
        hestio::log("Leave-home check: off");
        return;
    }
    if (m_download)
        m_download->cancel();
    unsigned number = ++m_checks;
    m_download = WebServiceConnector::create(endpoints::kDeviceList.path, std::string("action=true"), false);
    auto request = m_download;
    request->setContext(ListDownload { number, user->username });
    request->setDelegate(weak_from_this());
    request->startConnectionForDownload(true);
    if (m_download == request && !request->isRunning()) {
        m_download.reset();
        hestio::log("Leave-home check: the device list could not be downloaded");
    }
}

void LeaveHomeChecker::left(const std::string& title)
{
    auto session = m_session.lock();
    auto user = session ? session->curUser() : nullptr;
    if (!user)
        return;
    auto& defaults = UserDefaults::standard();
    if (LeaveHomeThreshold::load(defaults, user->username).isOff()) {
        hestio::log("Leave-home check: off");
        return;
    }
    auto places = HomePlaces::load(defaults, user->username);
    if (places.isHome(title)) {
        check();
    } else if (places.titles.empty() && !places.asked) {
        ask(title, user->username);
    } else {
        hestio::log("Leave-home check: " + shownName(title) + " is not home");
    }
}

void LeaveHomeChecker::arrived(const std::string& title)
{
    auto session = m_session.lock();
    auto user = session ? session->curUser() : nullptr;
    if (user && HomePlaces::load(UserDefaults::standard(), user->username).isHome(title))
        cancel();
}

void LeaveHomeChecker::cancel()
{
    ++m_checks;
    if (m_download)
        m_download->cancel();
    m_download.reset();
    m_notice.reset();
    m_switches.clear();
    closeAlert();
    closeQuestion();
    Application::shared().withdrawDesktopNotice(desktopTag);
}

void LeaveHomeChecker::ask(const std::string& place, const std::string& username)
{
    closeQuestion();
    m_questionPlace = place;
    m_questionUser = username;
    m_question = AlertView::create(questionTitle, questionText(place), this, std::string(notHomeTitle), { homeTitle });
    m_question->show();
    DesktopNotice notice { "Hestio", questionText(place), "Open",
        { { homeKey, homeTitle }, { notHomeKey, notHomeTitle } }, {}, desktopTag };
    std::weak_ptr<LeaveHomeChecker> weak = weak_from_this();
    notice.onAction = [weak, asked = std::weak_ptr<AlertView>(m_question)](const std::string& key) {
        auto self = weak.lock();
        auto question = asked.lock();
        if (self && question && self->m_question == question && (key == homeKey || key == notHomeKey))
            self->answerQuestion(key == homeKey);
    };
    Application::shared().presentDesktopNotice(notice);
}

void LeaveHomeChecker::closeQuestion()
{
    close(m_question);
}

void LeaveHomeChecker::answerQuestion(bool home)
{
    if (!m_question)
        return;
    std::string place = m_questionPlace;
    std::string username = m_questionUser;
    closeQuestion();
    Application::shared().withdrawDesktopNotice(desktopTag);
    if (!signedIn(username))
        return;
    auto& defaults = UserDefaults::standard();
    auto places = HomePlaces::load(defaults, username);
    places.asked = true;
    if (home)
        places.titles.insert(place);
    places.save(defaults, username);
    defaults.synchronize([](bool stored) {
        if (!stored)
            hestio::log("Leave-home check: which places are home could not be stored");
    });
    hestio::log("Leave-home check: " + shownName(place) + (home ? " counts as home" : " does not count as home"));
    // Just left it: the check it would have made.
    if (home)
        check();
}

void LeaveHomeChecker::requestFinished(WebServiceConnector& request, bool success, const json::Value& data)
{
    if (const auto* download = request.context<ListDownload>()) {
        if (download->check != m_checks)
            return;
        m_download.reset();
        if (!signedIn(download->username)) {
            hestio::log("Leave-home check: signed out before the device list came");
            return;
        }
        listArrived(success, data, request.answeredWithJSON());
    } else if (const auto* sent = request.context<SwitchOffSent>()) {
        if (success) {
            switchOffEnded(*sent, std::nullopt);
        } else if (!request.answeredWithJSON()) {
            switchOffEnded(*sent, unreadable);
        } else {
            std::string reason(data["error"].stringValue());
            switchOffEnded(*sent, reason.empty() ? refusedWithoutReason : reason);
        }
    }
}

void LeaveHomeChecker::requestFailed(WebServiceConnector& request, const TransportError&)
{
    if (const auto* download = request.context<ListDownload>()) {
        if (download->check != m_checks)
            return;
        m_download.reset();
        hestio::log("Leave-home check: the device list could not be downloaded");
    } else if (const auto* sent = request.context<SwitchOffSent>()) {
        switchOffEnded(*sent, unreachable);
    }
}

void LeaveHomeChecker::listArrived(bool success, const json::Value& data, bool answeredWithJSON)
{
    auto session = m_session.lock();
    auto user = session ? session->curUser() : nullptr;
    if (!success || !answeredWithJSON || !user) {
        hestio::log("Leave-home check: the device list could not be downloaded");
        return;
    }
    auto threshold = LeaveHomeThreshold::load(UserDefaults::standard(), user->username);
    if (threshold.isOff())
        return;
    std::vector<std::shared_ptr<Device>> devices;
    const json::Value& list = data["devices"];
    TimeZone zone = Device::householdTimeZone(user.get());
    for (std::size_t i = 0; list.isArray() && i < list.count(); ++i)
        if (list[i].isDictionary())
            devices.push_back(Device::fromJSON(list[i], zone));
    auto check = LeaveHomeCheck::of(devices, *threshold.watts, RunLoop::current().clock().now());
    if (check.isEmpty()) {
        hestio::log("Leave-home check: nothing is on");
        return;
    }
    closeAlert();
    closeQuestion();
    m_outcome.clear();
    m_notice = std::move(check);
    m_noticeUser = user->username;
    m_switches.assign(m_notice->drawing.size(), Switch::Available);
    hestio::log("Leave-home check: " + m_notice->text());
    present(true);
}

std::vector<std::size_t> LeaveHomeChecker::offered() const
{
    std::vector<std::size_t> indices;
    if (!m_notice)
        return indices;
    std::size_t named = std::min(LeaveHomeCheck::namedCount, m_notice->drawing.size());
    for (std::size_t i = 0; i < named; ++i)
        if (m_notice->drawing[i].canSwitchOff && m_switches[i] == Switch::Available)
            indices.push_back(i);
    return indices;
}

std::string LeaveHomeChecker::stillOnText() const
{
    LeaveHomeCheck stillOn;
    for (std::size_t i = 0; i < m_notice->drawing.size(); ++i)
        if (m_switches[i] != Switch::Off)
            stillOn.drawing.push_back(m_notice->drawing[i]);
    return stillOn.text();
}

void LeaveHomeChecker::present(bool first)
{
    auto indices = offered();
    if (!first && indices.empty()) {
        closeAlert();
        // Nothing to switch off from it now: the desktop's notice says what
        // is still on (or the last outcome), without actions.
        presentDesktop(indices);
        return;
    }
    showAlert();
    presentDesktop(indices);
}

void LeaveHomeChecker::presentDesktop(const std::vector<std::size_t>& indices)
{
    std::string body = stillOnText();
    if (!m_outcome.empty())
        body = body.empty() ? m_outcome : m_outcome + "\n" + body;
    DesktopNotice notice { "Hestio", body, "Open", {}, {}, desktopTag };
    for (std::size_t index : indices)
        notice.actions.push_back({ actionKeyPrefix + std::to_string(index),
            "Switch off " + LeaveHomeCheck::displayName(*m_notice->drawing[index].device) });
    std::weak_ptr<LeaveHomeChecker> weak = weak_from_this();
    unsigned number = m_checks;
    notice.onAction = [weak, number](const std::string& key) {
        auto self = weak.lock();
        if (!self || number != self->m_checks || key.rfind(actionKeyPrefix, 0) != 0)
            return;
        // The key comes back from the desktop's daemon: read, not trusted.
        std::size_t index = 0;
        const char* digits = key.data() + std::string_view(actionKeyPrefix).size();
        auto [end, error] = std::from_chars(digits, key.data() + key.size(), index);
        if (error == std::errc() && end == key.data() + key.size())
            self->switchOff(index);
    };
    // Out of view the desktop shows it; in view the app's alert takes its place.
    Application::shared().presentDesktopNotice(notice);
}

void LeaveHomeChecker::showAlert()
{
    closeAlert();
    m_alertButtons = offered();
    std::vector<std::string> titles;
    for (std::size_t index : m_alertButtons)
        titles.push_back("Switch off " + LeaveHomeCheck::displayName(*m_notice->drawing[index].device));
    m_alert = AlertView::create(alertTitle, stillOnText(), this, std::string(dismissTitle), std::move(titles));
    m_alert->show();
}

void LeaveHomeChecker::closeAlert()
{
    close(m_alert);
}

void LeaveHomeChecker::alertViewClickedButtonAtIndex(AlertView& alert, int index)
{
    if (&alert == m_question.get()) {
        answerQuestion(index != alert.cancelButtonIndex());
        return;
    }
    if (&alert != m_alert.get())
        return;
    // The alert goes away after this call; the next one offers the rest.
    alert.setDelegate(nullptr);
    m_alert.reset();
    int first = alert.firstOtherButtonIndex();
    if (index == alert.cancelButtonIndex() || first < 0 || index < first) {
        // Dismissed: the notice is done with, on the desktop too;
        // switch-offs on their way still report.
        ++m_checks;
        m_notice.reset();
        m_switches.clear();
        Application::shared().withdrawDesktopNotice(desktopTag);
        return;
    }
    auto button = static_cast<std::size_t>(index - first);
    if (button < m_alertButtons.size())
        switchOff(m_alertButtons[button]);
}

void LeaveHomeChecker::switchOff(std::size_t index)
{
    auto offeredNow = offered();
    if (!m_notice || !signedIn(m_noticeUser)
        || std::find(offeredNow.begin(), offeredNow.end(), index) == offeredNow.end())
        return;
    m_switches[index] = Switch::Sending;
    const auto& drawing = m_notice->drawing[index];
    const json::Value& descriptor = drawing.device->onOffAction;
    std::string parameters = "device_id=" + escapeParameter(Device::identifierText(descriptor["device_id"]))
        + "&act_id=" + escapeParameter(Device::identifierText(descriptor["id"])) + "&act_value=0";
    auto request = WebServiceConnector::create(endpoints::kDeviceOnOff.path, parameters, true);
    SwitchOffSent sent { m_checks, index, LeaveHomeCheck::displayName(*drawing.device), drawing.device, m_noticeUser };
    request->setContext(sent);
    request->setDelegate(weak_from_this());
    request->startConnectionForDownload(false);
    if (!request->isRunning())
        switchOffEnded(sent, unreachable);
    else
        present(false);
}

void LeaveHomeChecker::switchOffEnded(const SwitchOffSent& sent, std::optional<std::string> failure)
{
    if (!signedIn(sent.username)) {
        // Its user signed out meanwhile: the outcome is theirs, not the
        // next user's to read.
        hestio::log("Leave-home check: a switch-off ended after its user signed out");
        return;
    }
    bool current = m_notice && sent.check == m_checks && sent.index < m_switches.size();
    std::string text;
    if (!failure) {
        sent.device->recordSwitch(false);
        text = switchedOffText(sent.name);
    } else {
        text = notSwitchedOffText(sent.name, *failure);
    }
    if (current) {
        // Off: the notice stops naming it. Not off: it may be tried again
        // from the notice. The desktop's notice tells the outcome itself.
        m_switches[sent.index] = failure ? Switch::Available : Switch::Off;
        m_outcome = text;
        present(false);
    }
    LocalNotification outcome { text, "OK" };
    outcome.showOnDesktop = !current;
    Application::shared().presentLocalNotificationNow(outcome);
}

}
