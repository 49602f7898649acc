#pragma once

#include "account/LeaveHomeCheckSetting.h"
#include "model/User.h"
#include "net/WebServiceConnector.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/TableViewController.h"
#include "platform/ui/TextField.h"
#include "presence/LocationManager.h"
#include "session/Session.h"
#include "json/Value.h"

#include <any>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace hestio {

/// The signed-in user's account page: who is signed in, logging out, changing
/// the password, the saved places (added at the current position, deleted by
/// swiping), and for a household administrator the other users of the
/// household, each with a page to set their password.
class AccountTableViewController : public platform::TableViewController,
                                   public platform::AlertViewDelegate,
                                   public WebServiceConnectorDelegate {
public:
    enum Tag { ChangePasswordTag = 0, LogoutTag = 1, HouseholdUsersTag = 2, DeleteLocationTag = 3 };
    /// The leave-home check comes last, after the places it is about, so that
    /// the rows above keep their places on screen: its threshold, then a row
    /// per saved place saying whether leaving it counts as leaving home.
    enum Section {
        LogoutSection,
        UserInfoSection,
        ActionSection,
        UsersSection,
        LocationsSection,
        LeaveHomeSection,
        SectionCount
    };
    /// The action rows: the password, then the user's energy price.
    enum ActionRow { ChangePasswordRow, EnergyPriceRow, ActionRowCount };

    [[nodiscard]] static std::shared_ptr<AccountTableViewController> create(
        std::shared_ptr<Session> session, std::shared_ptr<LocationManager> locationManager);
    AccountTableViewController(std::shared_ptr<Session> session, std::shared_ptr<LocationManager> locationManager);
    ~AccountTableViewController() override;

    void viewDidLoad() override;
    void viewDidUnload() override;
    void viewDidAppear(bool animated) override;

    void getUsersListForHouse();
    void changePasswordForCurUser(bool show);
    void logout();
    void addLocation();
    /// Opens the screen that sets the user's price per kWh.
    void openEnergyPrice();
    /// Asks for the draw above which leaving home lists a device, or off.
    void openLeaveHomeCheck();
    /// Marks the saved place at `index` as home, or home no more.
    void toggleHomePlace(std::size_t index);
    /// Whether the home-place row `index` waits for its change to be stored
    /// (it shows a spinner and takes no tap until then).
    [[nodiscard]] bool isStoringHomePlace(std::size_t index) const;
    void locationsAdded(const platform::Notification& notification);
    void reset();

    // Table
    int numberOfSectionsInTableView(platform::TableView&) override { return SectionCount; }
    int numberOfRowsInSection(platform::TableView&, int section) override;
    std::optional<std::string> titleForHeaderInSection(platform::TableView&, int section) override;
    std::optional<std::string> titleForFooterInSection(platform::TableView&, int section) override;
    std::shared_ptr<platform::TableViewCell> cellForRowAtIndexPath(
        platform::TableView&, platform::IndexPath path) override;
    bool canEditRowAtIndexPath(platform::TableView&, platform::IndexPath path) override;
    platform::TableViewCellEditingStyle editingStyleForRowAtIndexPath(
        platform::TableView&, platform::IndexPath path) override;
    void commitEditingStyle(
        platform::TableView&, platform::TableViewCellEditingStyle style, platform::IndexPath path) override;
    void accessoryButtonTappedForRowWithIndexPath(platform::TableView&, platform::IndexPath path) override;
    void didSelectRowAtIndexPath(platform::TableView&, platform::IndexPath path) override;

    // Alerts and requests; each request carries what it was sent for.
    void alertViewClickedButtonAtIndex(platform::AlertView& alert, int index) override;
    void requestFinished(WebServiceConnector& request, bool success, const json::Value& data) override;
    void requestFailed(WebServiceConnector& request, const platform::TransportError& error) override;

    /// The other users of the household ("username", "type", "household").
    std::vector<json::Value> usersInHousehold;
    std::shared_ptr<WebServiceConnector> wsc;
    std::shared_ptr<WebServiceConnector> usersWsc;
    std::shared_ptr<WebServiceConnector> deleteLocationWsc;
    /// Downloads the saved places again after a deletion failed, so the list
    /// shows what the service has.
    std::shared_ptr<WebServiceConnector> savedPlacesWsc;
    /// The open "Set Location Name" alert, if any.
    std::shared_ptr<platform::AlertView> locationTitleAlert;

    /// The fields of the open alerts, for tests.
    platform::TextField* currentPasswordField() const { return m_currentPasswordField.get(); }
    platform::TextField* newPasswordField() const { return m_newPasswordField.get(); }
    platform::TextField* locationNameField() const { return m_locationNameField.get(); }

    bool isLoggingOut() const { return m_logoutRunning; }

private:
    std::shared_ptr<Session> m_session;
    std::shared_ptr<LocationManager> m_locationManager;
    struct PlaceDeletion;
    std::shared_ptr<AccountTableViewController> self();
    void startRequest(std::shared_ptr<WebServiceConnector>& slot, const char* path, std::string parameters,
        bool forPost, bool forDownloading, int tag, std::any context);
    void showError(const std::string& message);
    std::shared_ptr<platform::TableViewCell> energyPriceCell(platform::TableView& table);
    std::shared_ptr<platform::TableViewCell> leaveHomeCheckCell(platform::TableView& table);
    std::shared_ptr<platform::TableViewCell> homePlaceCell(platform::TableView& table, std::size_t index);
    /// The saved place `title` (deleted) no longer counts as home.
    void forgetHomePlace(const std::string& title);
    void reloadHomePlaceRow(const std::string& title);
    std::shared_ptr<LeaveHomeCheckSetting> m_leaveHomeCheck;
    void logoutAnswered(bool success);
    void finishLogout();
    void watchSavedLocationsAgain();
    void placeDeletionFailed(const PlaceDeletion& deletion, bool refused);
    void downloadSavedPlaces();
    void savedPlacesReceived(const json::Value& data);
    void usersReceived(bool success, const json::Value& data);
    /// Whether `user` is still the one signed in (a late answer of an
    /// earlier session changes nothing of the next one's).
    [[nodiscard]] bool stillSignedIn(const std::shared_ptr<User>& user) const;

    bool m_usersLoaded { false };
    bool m_logoutRunning { false };
    /// Who pressed Log Out, for the answer.
    std::shared_ptr<User> m_loggingOutUser;
    /// Titles whose deletion is on its way; a download of the places does
    /// not bring them back meanwhile.
    std::vector<std::string> m_placesBeingDeleted;
    /// Titles whose home-or-not change is on its way to the disk.
    std::set<std::string> m_placesBeingStored;
    bool m_observing { false };
    std::shared_ptr<platform::AlertView> m_passwordAlert;
    std::shared_ptr<platform::TextField> m_currentPasswordField;
    std::shared_ptr<platform::TextField> m_newPasswordField;
    std::shared_ptr<platform::TextField> m_locationNameField;
};

}
