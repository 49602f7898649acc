#pragma once

#include "net/WebServiceConnector.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/TableViewController.h"
#include "platform/ui/TextField.h"
#include "json/Value.h"

#include <memory>
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
    enum Section { LogoutSection, UserInfoSection, ActionSection, UsersSection, LocationsSection, SectionCount };

    static std::shared_ptr<AccountTableViewController> create();
    AccountTableViewController();
    ~AccountTableViewController() override;

    void viewDidLoad() override;
    void viewDidUnload() override;
    void viewDidAppear(bool animated) override;

    void getUsersListForHouse();
    void changePasswordForCurUser(bool show);
    void logout();
    void addLocation();
    void locationsAdded(const platform::Notification& notification);
    void reset();

    // Table
    int numberOfSectionsInTableView(platform::TableView&) override { return SectionCount; }
    int numberOfRowsInSection(platform::TableView&, int section) override;
    std::optional<std::string> titleForHeaderInSection(platform::TableView&, int section) override;
    std::shared_ptr<platform::TableViewCell> cellForRowAtIndexPath(
        platform::TableView&, platform::IndexPath path) override;
    bool canEditRowAtIndexPath(platform::TableView&, platform::IndexPath path) override;
    platform::TableViewCellEditingStyle editingStyleForRowAtIndexPath(
        platform::TableView&, platform::IndexPath path) override;
    void commitEditingStyle(
        platform::TableView&, platform::TableViewCellEditingStyle style, platform::IndexPath path) override;
    void accessoryButtonTappedForRowWithIndexPath(platform::TableView&, platform::IndexPath path) override;
    void didSelectRowAtIndexPath(platform::TableView&, platform::IndexPath path) override;

    // Alerts and requests
    void alertViewClickedButtonAtIndex(platform::AlertView& alert, int index) override;
    void dataSent(bool success, int tag) override;
    void dataReceived(bool success, const json::Value& data, int tag) override;
    bool requestToServerFailedWithError(const platform::TransportError& error, const std::string& parameters) override;

    /// The other users of the household ("username", "type", "household").
    std::vector<json::Value> usersInHousehold;
    std::shared_ptr<WebServiceConnector> wsc;
    std::shared_ptr<WebServiceConnector> usersWsc;
    std::shared_ptr<WebServiceConnector> deleteLocationWsc;
    /// The open "Set Location Name" alert, if any.
    std::shared_ptr<platform::AlertView> locationTitleAlert;

    /// The fields of the open alerts, for tests.
    platform::TextField* currentPasswordField() const { return m_currentPasswordField.get(); }
    platform::TextField* newPasswordField() const { return m_newPasswordField.get(); }
    platform::TextField* locationNameField() const { return m_locationNameField.get(); }

private:
    std::shared_ptr<AccountTableViewController> self();
    void startRequest(std::shared_ptr<WebServiceConnector>& slot, const char* path, std::string parameters,
        bool forPost, bool forDownloading, int tag);
    void showError(const std::string& message);
    void finishLogout();
    void watchSavedLocationsAgain();

    bool m_usersLoaded { false };
    bool m_observing { false };
    std::shared_ptr<platform::AlertView> m_passwordAlert;
    std::shared_ptr<platform::TextField> m_currentPasswordField;
    std::shared_ptr<platform::TextField> m_newPasswordField;
    std::shared_ptr<platform::TextField> m_locationNameField;
};

}
