#include "account/AccountTableViewController.h"

#include "account/EnergyPriceViewController.h"
#include "account/OtherUserAccountViewController.h"
#include "model/ShownName.h"
#include "net/Endpoints.h"
#include "net/KeychainWrapper.h"
#include "net/ServiceEnvironment.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/TabBarController.h"
#include "presence/LocationManager.h"
#include "session/AppShell.h"
#include "widgets/InfoDisplayCell.h"

#include <algorithm>

namespace hestio {

using namespace platform;

namespace {

    constexpr const char* homePlaceText = "Home";
    constexpr const char* notHomePlaceText = "Not home";

    /// A row's accessory while its change is on its way to the disk.
    std::shared_ptr<ActivityIndicatorView> storingSpinner()
    {
        auto spinner = ActivityIndicatorView::create(ActivityIndicatorView::Style::Gray);
        spinner->setAccessibilityIdentifier("storingSpinner");
        spinner->startAnimating();
        return spinner;
    }

    std::shared_ptr<TextField> makeAlertField(const std::string& placeholder, Rect frame, int tag, bool secure)
    {
        auto field = TextField::create(frame);
        field->setText("");
        field->setPlaceholder(placeholder);
        field->setBorderStyle(TextBorderStyle::Bezel);
        field->setTextColor(Color::black());
        field->setBackgroundColor(Color::whiteColor());
        field->setTextAlignment(TextAlignment::Left);
        field->setFont(Font::systemFont(17));
        field->setAutocorrectionType(AutocorrectionType::No);
        field->setClearsOnBeginEditing(true);
        field->setSecureTextEntry(secure);
        field->setTag(tag);
        if (secure) {
            field->setKeyboardType(KeyboardType::EmailAddress);
            field->setClearButtonMode(TextFieldViewMode::WhileEditing);
            field->setAutocapitalizationType(AutocapitalizationType::None);
        }
        return field;
    }

    bool isBlank(const std::string& text)
    {
        return std::all_of(text.begin(), text.end(), [](unsigned char c) { return c == ' ' || c == '\t'; });
    }

    void styleCentredLabel(TableViewCell& cell, const std::string& text, Font font)
    {
        Label* label = cell.textLabel();
        label->setText(text);
        label->setFont(std::move(font));
        label->setTextAlignment(TextAlignment::Center);
    }

    /// What a request of this screen was sent for.
    enum class AccountRequest { ChangePassword, Logout, HouseholdUsers, SavedPlaces };

    bool eraseOne(std::vector<std::string>& list, const std::string& title)
    {
        auto found = std::find(list.begin(), list.end(), title);
        if (found == list.end())
            return false;
        list.erase(found);
        return true;
    }

}

/// A deletion on its way: the place, and whose place it was.
struct AccountTableViewController::PlaceDeletion {
    std::shared_ptr<Location> place;
    std::shared_ptr<User> user;
};

std::shared_ptr<AccountTableViewController> AccountTableViewController::create(
    std::shared_ptr<Session> session, std::shared_ptr<LocationManager> locationManager)
{
    return std::make_shared<AccountTableViewController>(std::move(session), std::move(locationManager));
}

AccountTableViewController::AccountTableViewController(
    std::shared_ptr<Session> session, std::shared_ptr<LocationManager> locationManager)
    : TableViewController(TableViewStyle::Grouped)
    , m_session(std::move(session))
    , m_locationManager(std::move(locationManager))
{
    setTitle("Account");
}

AccountTableViewController::~AccountTableViewController()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    for (const auto& alert : Application::shared().visibleAlerts()) {
        if (alert->delegate() == this)
            alert->setDelegate(nullptr);
    }
}

std::shared_ptr<AccountTableViewController> AccountTableViewController::self()
{
    return std::static_pointer_cast<AccountTableViewController>(shared_from_this());
}

void AccountTableViewController::viewDidLoad()
{
    TableViewController::viewDidLoad();
    if (m_observing)
        return;
    m_observing = true;
    std::weak_ptr<AccountTableViewController> weak = self();
    auto& center = NotificationCenter::defaultCenter();
    center.addObserver(this, "UserLoggedOut", [weak](const Notification&) {
        if (auto screen = weak.lock())
            screen->reset();
    });
    center.addObserver(this, "LocationAdded", [weak](const Notification& notification) {
        if (auto screen = weak.lock())
            screen->locationsAdded(notification);
    });
}

void AccountTableViewController::viewDidUnload()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    m_observing = false;
    TableViewController::viewDidUnload();
}

void AccountTableViewController::viewDidAppear(bool animated)
{
    TableViewController::viewDidAppear(animated);
    if (!m_usersLoaded)
        getUsersListForHouse();
    tableView().reloadData();
}

void AccountTableViewController::startRequest(std::shared_ptr<WebServiceConnector>& slot, const char* path,
    std::string parameters, bool forPost, bool forDownloading, int tag, std::any context)
{
    slot = WebServiceConnector::create(path, std::move(parameters), forPost);
    slot->setTag(tag);
    slot->setContext(std::move(context));
    slot->setDelegate(self());
    slot->startConnectionForDownload(forDownloading);
}

void AccountTableViewController::getUsersListForHouse()
{
    auto user = m_session->curUser();
    if (!user || !user->isAdministrator())
        return;
    if (usersWsc && usersWsc->isRunning())
        return; // appearing again while they load: that answer serves
    std::string household(user->household["name"].stringValue());
    startRequest(usersWsc, endpoints::kHouseholdUsers.path, "household=" + escapeParameter(household), false, true,
        HouseholdUsersTag, AccountRequest::HouseholdUsers);
}

void AccountTableViewController::changePasswordForCurUser(bool show)
{
    if (!show)
        return;
    m_currentPasswordField = makeAlertField("Current Password", { 14, 45, 255, 28 }, 4, true);
    m_currentPasswordField->setAccessibilityIdentifier("currentPasswordField");
    m_newPasswordField = makeAlertField("New Password", { 14, 80, 255, 28 }, 5, true);
    m_newPasswordField->setAccessibilityIdentifier("newPasswordField");
    m_passwordAlert = AlertView::create("Change Password", " \n\n\n", this, std::string("Cancel"), { "OK" });
    m_passwordAlert->addSubview(m_currentPasswordField);
    m_passwordAlert->addSubview(m_newPasswordField);
    m_passwordAlert->show();
}

void AccountTableViewController::logout()
{
    // One logout at a time: a second one would reach the service with the
    // token the first one ended, and its refusal would be shown as a failure.
    if (m_logoutRunning)
        return;
    Session& session = *m_session;
    m_loggingOutUser = session.curUser();
    if (m_locationManager)
        m_locationManager->removeAllLocations();
    std::string parameters = "logout=true";
    // Naming this phone's push token lets the service stop pushing to a
    // phone nobody is signed in on.
    if (auto token = session.pushToken())
        parameters += "&push_token=" + escapeParameter(*token);
    m_logoutRunning = true;
    startRequest(wsc, endpoints::kSignOut.path, std::move(parameters), true, false, LogoutTag, AccountRequest::Logout);
}

void AccountTableViewController::logoutAnswered(bool success)
{
    m_logoutRunning = false;
    auto user = m_session->curUser();
    auto pressedBy = std::move(m_loggingOutUser);
    if (success || !user) {
        // Without a signed-in user the session ended while the logout was on
        // its way (the stored credentials were refused): what is left to do
        // is on this phone.
        if (!success)
            hestio::log("The session had already ended on the service");
        finishLogout();
        return;
    }
    if (user != pressedBy)
        return; // someone signed in meanwhile; their session stays
    double now = RunLoop::current().clock().now().timeIntervalSince1970();
    if (!user->hasToken() || user->tokenExpiration < now * 1000) {
        // The token had expired and could not be renewed: the service has no
        // session left to end, so its refusal does not keep the user here.
        hestio::log("The session had already ended on the service");
        finishLogout();
        return;
    }
    watchSavedLocationsAgain();
    showError("Failed to logout");
}

void AccountTableViewController::finishLogout()
{
    auto keepAlive = self(); // the sign-out below pops this screen
    hestio::log("Log out was successful");
    Session& session = *m_session;
    // What was loading for this session has nobody left to show it to.
    for (auto* running : { &usersWsc, &savedPlacesWsc, &session.locationsWsc }) {
        if (*running)
            (*running)->cancel();
        running->reset();
    }
    session.setCurUser(nullptr);
    // The next user to sign in on this phone must not see this user's places;
    // their own come with their sign-in.
    session.savedLocations.clear();
    // Nor the lists kept for showing while the service is away.
    session.offline().deleteCache();
    // Ended by stored credentials refused meanwhile: that has been told.
    if (!session.endedByRefusal())
        NotificationCenter::defaultCenter().post("UserLoggedOut", this);

    auto& defaults = UserDefaults::standard();
    std::optional<std::string> username = defaults.stringForKey("username");
    std::optional<KeychainError> passwordError;
    KeychainWrapper::deleteItemForKey(username, Session::keychainService, &passwordError);
    std::optional<KeychainError> tokenError;
    KeychainWrapper::deleteItemForKey(std::string("pushtoken"), Session::keychainService, &tokenError);
    defaults.removeObjectForKey("username");
    if (tokenError)
        hestio::log("There was a problem deleting the keychain info after logout");

    if (auto shell = session.shell())
        shell->selectFirstTab();
}

void AccountTableViewController::watchSavedLocationsAgain()
{
    // Logging out stopped watching every place; when the service keeps the
    // user signed in, their arrivals and departures must still be reported.
    Session& session = *m_session;
    if (!m_locationManager)
        return;
    for (const auto& location : session.savedLocations) {
        if (!m_locationManager->regionIsAlreadyBeingMonitoredWithIdentifier(location->title))
            m_locationManager->startMonitoringRegionWithCenter(location->location.coordinate, location->title);
    }
}

void AccountTableViewController::addLocation()
{
    if (locationTitleAlert)
        return;
    m_locationNameField = makeAlertField("Location name", { 14, 50, 255, 28 }, 4, false);
    m_locationNameField->setAccessibilityIdentifier("locationNameField");
    m_locationNameField->setKeyboardType(KeyboardType::Default);
    locationTitleAlert = AlertView::create("Set Location Name", "\n\n", this, std::string("Cancel"), { "OK" });
    locationTitleAlert->setAccessibilityIdentifier("locationTitleAlert");
    locationTitleAlert->addSubview(m_locationNameField);
    locationTitleAlert->show();
    m_locationNameField->becomeFirstResponder();
}

void AccountTableViewController::openEnergyPrice()
{
    if (!m_session->curUser())
        return;
    navigationItem().setBackBarButtonItem(BarButtonItem::create("Back", BarButtonItem::Style::Bordered));
    if (auto* navigation = navigationController())
        navigation->pushViewController(EnergyPriceViewController::create(m_session), true);
}

void AccountTableViewController::openLeaveHomeCheck()
{
    std::weak_ptr<AccountTableViewController> weak = self();
    m_leaveHomeCheck = LeaveHomeCheckSetting::open(m_session, [weak] {
        if (auto screen = weak.lock())
            screen->tableView().reloadData();
    });
}

std::shared_ptr<TableViewCell> AccountTableViewController::leaveHomeCheckCell(TableView& table)
{
    auto cell = table.dequeueReusableCellWithIdentifier("leaveHomeCheck");
    if (!cell) {
        cell = TableViewCell::create(TableViewCellStyle::Subtitle, "leaveHomeCheck");
        cell->setAccessibilityIdentifier("leaveHomeCheckCell");
    }
    cell->textLabel()->setText(LeaveHomeCheckSetting::title);
    LeaveHomeThreshold threshold;
    if (auto user = m_session->curUser())
        threshold = LeaveHomeThreshold::load(UserDefaults::standard(), user->username);
    cell->detailTextLabel()->setText(LeaveHomeCheckSetting::summary(threshold, Locale::current()));
    cell->setAccessoryView(m_leaveHomeCheck && m_leaveHomeCheck->storing() ? storingSpinner() : nullptr);
    return cell;
}

std::shared_ptr<TableViewCell> AccountTableViewController::homePlaceCell(TableView& table, std::size_t index)
{
    auto cell = table.dequeueReusableCellWithIdentifier("homePlace");
    if (!cell)
        cell = TableViewCell::create(TableViewCellStyle::Value1, "homePlace");
    const std::string& title = m_session->savedLocations[index]->title;
    bool home = false;
    if (auto user = m_session->curUser())
        home = HomePlaces::load(UserDefaults::standard(), user->username).isHome(title);
    cell->setAccessibilityIdentifier("homePlace-" + title);
    cell->textLabel()->setText(shownName(title));
    cell->detailTextLabel()->setText(home ? homePlaceText : notHomePlaceText);
    cell->setAccessoryType(home ? TableViewCellAccessoryType::Checkmark : TableViewCellAccessoryType::None);
    cell->setAccessoryView(m_placesBeingStored.contains(title) ? storingSpinner() : nullptr);
    return cell;
}

void AccountTableViewController::toggleHomePlace(std::size_t index)
{
    auto user = m_session->curUser();
    if (!user || index >= m_session->savedLocations.size())
        return;
    auto& defaults = UserDefaults::standard();
    auto places = HomePlaces::load(defaults, user->username);
    const std::string& title = m_session->savedLocations[index]->title;
    if (places.titles.erase(title) == 0)
        places.titles.insert(title);
    // Chosen here: leaving a place asks no more.
    places.asked = true;
    places.save(defaults, user->username);
    // The row shows its new state at once, with a spinner until the disk
    // has it; it takes no tap meanwhile.
    m_placesBeingStored.insert(title);
    std::weak_ptr<AccountTableViewController> weak = self();
    defaults.synchronize([weak, title, username = user->username](bool stored) {
        auto screen = weak.lock();
        if (!screen)
            return;
        screen->m_placesBeingStored.erase(title);
        auto now = screen->m_session->curUser();
        if (!stored && (!now || now->username != username))
            hestio::log("Which places count as home for a user no longer signed in could not be stored");
        else if (!stored)
            screen->showError("Which places count as home could not be stored on this phone.");
        screen->reloadHomePlaceRow(title);
    });
    reloadHomePlaceRow(title);
}

bool AccountTableViewController::isStoringHomePlace(std::size_t index) const
{
    const auto& places = m_session->savedLocations;
    return index < places.size() && m_placesBeingStored.contains(places[index]->title);
}

void AccountTableViewController::reloadHomePlaceRow(const std::string& title)
{
    const auto& places = m_session->savedLocations;
    auto found = std::find_if(places.begin(), places.end(), [&](const auto& place) { return place->title == title; });
    if (found == places.end() || !isViewLoaded())
        return;
    tableView().reloadRowsAtIndexPaths(
        { { LeaveHomeSection, static_cast<int>(found - places.begin()) + 1 } }, TableViewRowAnimation::None);
}

void AccountTableViewController::forgetHomePlace(const std::string& title)
{
    auto user = m_session->curUser();
    if (!user)
        return;
    auto& defaults = UserDefaults::standard();
    auto places = HomePlaces::load(defaults, user->username);
    if (places.titles.erase(title) == 0)
        return;
    places.save(defaults, user->username);
    defaults.synchronize([](bool stored) {
        if (!stored)
            hestio::log("Which places count as home could not be stored");
    });
}

std::shared_ptr<TableViewCell> AccountTableViewController::energyPriceCell(TableView& table)
{
    auto cell = table.dequeueReusableCellWithIdentifier("energyPrice");
    if (!cell) {
        cell = TableViewCell::create(TableViewCellStyle::Subtitle, "energyPrice");
        cell->setAccessibilityIdentifier("energyPriceCell");
        cell->setAccessoryType(TableViewCellAccessoryType::DisclosureIndicator);
    }
    cell->textLabel()->setText("Energy price");
    // Read afresh each time: the price screen may have changed it, and it
    // is the signed-in user's own.
    std::optional<Tariff> tariff;
    if (auto user = m_session->curUser())
        tariff = Tariff::load(UserDefaults::standard(), user->username);
    cell->detailTextLabel()->setText(EnergyPriceViewController::summary(tariff, Locale::current()));
    return cell;
}

void AccountTableViewController::locationsAdded(const Notification& notification)
{
    auto found = notification.userInfo.find("location");
    if (found == notification.userInfo.end())
        return;
    const auto* location = std::any_cast<std::shared_ptr<Location>>(&found->second);
    if (!location || !*location)
        return;
    auto& saved = m_session->savedLocations;
    TableView& table = tableView();
    // When the list changed behind the table's back (a sign-in reloaded it),
    // a row insertion would not add up: show the list afresh instead.
    bool tableMatches = table.numberOfRowsInSection(LocationsSection) == static_cast<int>(saved.size()) + 1;
    saved.push_back(*location);
    if (!tableMatches) {
        table.reloadData();
        return;
    }
    int row = static_cast<int>(saved.size()) - 1;
    table.beginUpdates();
    table.insertRowsAtIndexPaths(
        { { LocationsSection, row }, { LeaveHomeSection, row + 1 } }, TableViewRowAnimation::Bottom);
    table.endUpdates();
}

void AccountTableViewController::reset()
{
    if (auto* navigation = navigationController())
        navigation->popViewControllerAnimated(false);
}

int AccountTableViewController::numberOfRowsInSection(TableView&, int section)
{
    switch (section) {
    case LogoutSection:
        return 1;
    case ActionSection:
        return ActionRowCount;
    case UserInfoSection:
        return 2;
    case UsersSection:
        return static_cast<int>(usersInHousehold.size());
    case LeaveHomeSection:
        return 1 + static_cast<int>(m_session->savedLocations.size());
    default:
        return static_cast<int>(m_session->savedLocations.size()) + 1;
    }
}

std::optional<std::string> AccountTableViewController::titleForHeaderInSection(TableView&, int section)
{
    auto user = m_session->curUser();
    switch (section) {
    case LogoutSection:
        return "Signed in as: " + (user ? user->username : std::string());
    case UsersSection:
        if (user && user->isAdministrator())
            return "Users in household";
        return std::nullopt;
    case LocationsSection:
        return "Your Saved Locations";
    case LeaveHomeSection:
        return "When You Leave";
    default:
        return std::nullopt;
    }
}

std::optional<std::string> AccountTableViewController::titleForFooterInSection(TableView&, int section)
{
    if (section != LeaveHomeSection || m_session->savedLocations.empty())
        return std::nullopt;
    return "Leaving a place marked Home lists what is still on there.";
}

std::shared_ptr<TableViewCell> AccountTableViewController::cellForRowAtIndexPath(TableView& table, IndexPath path)
{
    auto reuse = [&](const std::string& identifier) {
        auto cell = table.dequeueReusableCellWithIdentifier(identifier);
        return cell ? cell : TableViewCell::create(TableViewCellStyle::Default, identifier);
    };
    auto infoCell = [&](const std::string& identifier) {
        auto cell = std::dynamic_pointer_cast<InfoDisplayCell>(table.dequeueReusableCellWithIdentifier(identifier));
        if (!cell)
            cell = InfoDisplayCell::create(identifier);
        cell->setSelectionStyle(TableViewCellSelectionStyle::None);
        return cell;
    };
    auto user = m_session->curUser();

    switch (path.section) {
    case LogoutSection: {
        auto cell = reuse("logout");
        cell->setAccessibilityIdentifier("logoutCell");
        styleCentredLabel(*cell, "Log Out", Font::boldSystemFont(16));
        return cell;
    }
    case UserInfoSection: {
        auto cell = infoCell("userInfo");
        if (path.row == 0) {
            cell->name().setText("Type");
            cell->value().setText(user ? user->type : std::string());
        } else {
            cell->name().setText("Household");
            cell->value().setText(user ? std::string(user->household["name"].stringValue()) : std::string());
        }
        return cell;
    }
    case ActionSection: {
        if (path.row == EnergyPriceRow)
            return energyPriceCell(table);
        auto cell = reuse("action");
        styleCentredLabel(*cell, "Change your password", Font::boldSystemFont(16));
        return cell;
    }
    case LeaveHomeSection:
        if (path.row > 0 && path.row <= static_cast<int>(m_session->savedLocations.size()))
            return homePlaceCell(table, static_cast<std::size_t>(path.row - 1));
        return leaveHomeCheckCell(table);
    case UsersSection: {
        auto cell = infoCell("usersInHouse");
        cell->setAccessoryType(TableViewCellAccessoryType::DetailDisclosureButton);
        const json::Value& other = usersInHousehold[static_cast<std::size_t>(path.row)];
        cell->name().setText(std::string(other["username"].stringValue()));
        cell->value().setText("");
        return cell;
    }
    default:
        break;
    }

    const auto& saved = m_session->savedLocations;
    if (path.row < static_cast<int>(saved.size())) {
        auto cell = reuse("location");
        styleCentredLabel(*cell, saved[static_cast<std::size_t>(path.row)]->title, Font::boldSystemFont(19));
        cell->setSelectionStyle(TableViewCellSelectionStyle::None);
        return cell;
    }
    auto cell = table.dequeueReusableCellWithIdentifier("addLocation");
    if (!cell) {
        cell = TableViewCell::create(TableViewCellStyle::Default, "addLocation");
        auto button = Button::create(Button::Type::ContactAdd);
        button->setAccessibilityIdentifier("addLocationButton");
        button->setAccessibilityLabel("Add Place");
        std::weak_ptr<AccountTableViewController> weak = self();
        button->addTarget(ControlEventTouchUpInside, [weak](Control&) {
            if (auto screen = weak.lock())
                screen->addLocation();
        });
        cell->setAccessoryView(button);
    }
    styleCentredLabel(*cell, "Add location", Font::systemFont(17));
    cell->setSelectionStyle(TableViewCellSelectionStyle::None);
    return cell;
}

bool AccountTableViewController::canEditRowAtIndexPath(TableView&, IndexPath path)
{
    return path.section == LocationsSection && path.row < static_cast<int>(m_session->savedLocations.size());
}

TableViewCellEditingStyle AccountTableViewController::editingStyleForRowAtIndexPath(TableView& table, IndexPath path)
{
    return canEditRowAtIndexPath(table, path) ? TableViewCellEditingStyle::Delete : TableViewCellEditingStyle::None;
}

void AccountTableViewController::commitEditingStyle(TableView& table, TableViewCellEditingStyle style, IndexPath path)
{
    if (style != TableViewCellEditingStyle::Delete || !canEditRowAtIndexPath(table, path))
        return;
    Session& session = *m_session;
    auto& saved = session.savedLocations;
    auto place = saved[static_cast<std::size_t>(path.row)];
    std::string title = place->title;
    // Each deletion runs to its own answer, however many follow it.
    m_placesBeingDeleted.push_back(title);
    startRequest(deleteLocationWsc, endpoints::kLocationDelete.path, "title=" + escapeParameter(title) + "&delete=true",
        true, false, DeleteLocationTag, PlaceDeletion { place, session.curUser() });

    saved.erase(saved.begin() + path.row);
    forgetHomePlace(title);
    table.beginUpdates();
    table.deleteRowsAtIndexPaths({ path, { LeaveHomeSection, path.row + 1 } }, TableViewRowAnimation::Right);
    table.endUpdates();
    if (m_locationManager)
        m_locationManager->stopMonitoringRegionWithIdentifier(title);
}

void AccountTableViewController::accessoryButtonTappedForRowWithIndexPath(TableView&, IndexPath path)
{
    if (path.section == LocationsSection) {
        addLocation();
        return;
    }
    if (path.section != UsersSection || path.row < 0 || path.row >= static_cast<int>(usersInHousehold.size()))
        return;
    auto other = OtherUserAccountViewController::create();
    other->userInfo = usersInHousehold[static_cast<std::size_t>(path.row)];
    navigationItem().setBackBarButtonItem(BarButtonItem::create("Back", BarButtonItem::Style::Bordered));
    if (auto* navigation = navigationController())
        navigation->pushViewController(other, true);
}

void AccountTableViewController::didSelectRowAtIndexPath(TableView& table, IndexPath path)
{
    table.deselectRowAtIndexPath(path, true);
    if (path.section == ActionSection && path.row == ChangePasswordRow)
        changePasswordForCurUser(true);
    else if (path.section == ActionSection && path.row == EnergyPriceRow)
        openEnergyPrice();
    else if (path.section == LeaveHomeSection && path.row == 0 && !(m_leaveHomeCheck && m_leaveHomeCheck->storing()))
        openLeaveHomeCheck();
    else if (path.section == LeaveHomeSection && !isStoringHomePlace(static_cast<std::size_t>(path.row - 1)))
        toggleHomePlace(static_cast<std::size_t>(path.row - 1));
    else if (path.section == LogoutSection && path.row == 0)
        logout();
}

void AccountTableViewController::alertViewClickedButtonAtIndex(AlertView& alert, int index)
{
    if (locationTitleAlert && &alert == locationTitleAlert.get()) {
        std::string title = m_locationNameField ? m_locationNameField->text() : std::string();
        locationTitleAlert.reset();
        // A place needs a name: it is the place's key on the service and the
        // name of the region watched for it.
        if (index == 1 && !isBlank(title) && m_locationManager)
            m_locationManager->startMonitoringLocationWithTitle(title);
        return;
    }
    if (!m_passwordAlert || &alert != m_passwordAlert.get())
        return;
    m_passwordAlert.reset();
    if (index != 1)
        return;
    auto user = m_session->curUser();
    std::string parameters = "name=" + escapeParameter(user ? user->username : std::string())
        + "&password=" + escapeParameter(m_currentPasswordField->text())
        + "&new_password=" + escapeParameter(m_newPasswordField->text());
    startRequest(wsc, endpoints::kPasswordChange.path, std::move(parameters), true, false, ChangePasswordTag,
        AccountRequest::ChangePassword);
}

void AccountTableViewController::showError(const std::string& message)
{
    AlertView::create("Error Occurred", message, this, std::string("OK"))->show();
}

bool AccountTableViewController::stillSignedIn(const std::shared_ptr<User>& user) const
{
    auto current = m_session->curUser();
    return current && current == user;
}

void AccountTableViewController::requestFinished(WebServiceConnector& request, bool success, const json::Value& data)
{
    for (auto* slot : { &wsc, &usersWsc, &deleteLocationWsc, &savedPlacesWsc }) {
        if (slot->get() == &request)
            slot->reset();
    }
    if (const auto* deletion = request.context<PlaceDeletion>()) {
        eraseOne(m_placesBeingDeleted, deletion->place->title);
        if (!success)
            placeDeletionFailed(*deletion, true);
        return;
    }
    const auto* kind = request.context<AccountRequest>();
    if (!kind)
        return;
    switch (*kind) {
    case AccountRequest::ChangePassword:
        if (success)
            hestio::log("Successfully changed your password");
        else if (m_session->curUser())
            showError("Failed to change your password.");
        break;
    case AccountRequest::Logout:
        logoutAnswered(success);
        break;
    case AccountRequest::HouseholdUsers:
        usersReceived(success, data);
        break;
    case AccountRequest::SavedPlaces:
        if (success)
            savedPlacesReceived(data);
        else
            hestio::log("Failed to get your saved locations");
        break;
    }
}

void AccountTableViewController::requestFailed(WebServiceConnector& request, const TransportError&)
{
    // The info panel has told the user.
    for (auto* slot : { &wsc, &usersWsc, &deleteLocationWsc, &savedPlacesWsc }) {
        if (slot->get() == &request)
            slot->reset();
    }
    if (const auto* deletion = request.context<PlaceDeletion>()) {
        eraseOne(m_placesBeingDeleted, deletion->place->title);
        placeDeletionFailed(*deletion, false);
        return;
    }
    const auto* kind = request.context<AccountRequest>();
    if (kind && *kind == AccountRequest::Logout) {
        // A logout that never reached the service leaves the user signed in,
        // still watching their places.
        m_logoutRunning = false;
        m_loggingOutUser.reset();
        if (m_session->curUser())
            watchSavedLocationsAgain();
        else
            finishLogout();
    }
}

void AccountTableViewController::placeDeletionFailed(const PlaceDeletion& deletion, bool refused)
{
    if (!stillSignedIn(deletion.user))
        return;
    if (refused)
        showError("Failed to post your location.");
    // The place may still be on the service (and would come back at the next
    // sign-in unwatched): the list shows again what the service has.
    downloadSavedPlaces();
}

void AccountTableViewController::downloadSavedPlaces()
{
    startRequest(savedPlacesWsc, endpoints::kLocationList.path, {}, false, true, 0, AccountRequest::SavedPlaces);
}

void AccountTableViewController::savedPlacesReceived(const json::Value& data)
{
    Session& session = *m_session;
    if (!session.curUser() || m_logoutRunning)
        return;
    std::vector<std::shared_ptr<Location>> places;
    for (auto& place : LocationManager::savedLocationsFromReply(data)) {
        if (std::find(m_placesBeingDeleted.begin(), m_placesBeingDeleted.end(), place->title)
            == m_placesBeingDeleted.end())
            places.push_back(std::move(place));
    }
    if (m_locationManager) {
        for (const auto& old : session.savedLocations) {
            bool kept = std::any_of(
                places.begin(), places.end(), [&](const auto& place) { return place->title == old->title; });
            if (!kept)
                m_locationManager->stopMonitoringRegionWithIdentifier(old->title);
        }
        m_locationManager->watchSavedLocations(places);
    }
    session.savedLocations = std::move(places);
    if (isViewLoaded())
        tableView().reloadData();
}

void AccountTableViewController::usersReceived(bool success, const json::Value& data)
{
    if (!success) {
        hestio::log("Failed to get user data");
        return;
    }
    // The signed-in user changes their own password above, with the current
    // one; the service refuses to set it from the other-user page.
    auto user = m_session->curUser();
    usersInHousehold.clear();
    const json::Value& all = data["allUsers"];
    for (std::size_t i = 0; all.isArray() && i < all.count(); ++i) {
        if (user && all[i]["username"].stringValue() == user->username)
            continue;
        usersInHousehold.push_back(all[i]);
    }
    m_usersLoaded = true;
    if (isViewLoaded())
        tableView().reloadData();
}

}
