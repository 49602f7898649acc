#pragma once

#include "net/WebServiceConnector.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/TableViewController.h"
#include "platform/ui/TextField.h"
#include "json/Value.h"

#include <memory>

namespace hestio {

/// Another user of the household, as an administrator sees them: their type
/// and household, and a way to set their password.
class OtherUserAccountViewController : public platform::TableViewController,
                                       public platform::AlertViewDelegate,
                                       public WebServiceConnectorDelegate {
public:
    [[nodiscard]] static std::shared_ptr<OtherUserAccountViewController> create();
    OtherUserAccountViewController();
    ~OtherUserAccountViewController() override;

    void viewDidLoad() override;
    void viewDidUnload() override;

    void changePasswordForUser();

    int numberOfSectionsInTableView(platform::TableView&) override { return 2; }
    int numberOfRowsInSection(platform::TableView&, int section) override { return section == 0 ? 2 : 1; }
    std::shared_ptr<platform::TableViewCell> cellForRowAtIndexPath(
        platform::TableView&, platform::IndexPath path) override;
    bool canEditRowAtIndexPath(platform::TableView&, platform::IndexPath) override { return false; }
    void didSelectRowAtIndexPath(platform::TableView&, platform::IndexPath path) override;

    void alertViewClickedButtonAtIndex(platform::AlertView& alert, int index) override;
    void dataSent(bool success, int tag) override;
    void dataReceived(bool success, const json::Value& data, int tag) override;

    /// The user as the household's user list gives it: "username", "type",
    /// "household" with "name".
    json::Value userInfo;
    std::shared_ptr<platform::TextField> updatedPasswordField;
    std::shared_ptr<WebServiceConnector> wsc;

private:
    std::shared_ptr<platform::AlertView> m_passwordAlert;
};

}
