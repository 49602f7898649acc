#pragma once

#include "net/WebServiceConnector.h"
#include "platform/foundation/DateFormatter.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/TableView.h"
#include "platform/ui/ViewController.h"

#include <memory>
#include <string>
#include <vector>

namespace hestio {

/// The user's recorded movements ("[ARRIVED] Home" with its time) in the
/// service's order, and, behind "Failed Posts", the postings still waiting
/// in the failed-movement file.
class MovementsViewController final : public platform::ViewController,
                                      public platform::TableViewDataSource,
                                      public platform::TableViewDelegate,
                                      public WebServiceConnectorDelegate {
public:
    [[nodiscard]] static std::shared_ptr<MovementsViewController> create();
    MovementsViewController();
    ~MovementsViewController() override;

    void loadView() override;
    void viewDidLoad() override;
    void viewDidUnload() override;

    void showLocationPostFails();
    /// The platform's printed form of a list of texts: one per line between
    /// parentheses.
    [[nodiscard]] static std::string describeList(const std::vector<std::string>& entries);

    int numberOfRowsInSection(platform::TableView&, int) override;
    std::shared_ptr<platform::TableViewCell> cellForRowAtIndexPath(platform::TableView&, platform::IndexPath) override;
    void dataReceived(bool success, const json::Value& data, int tag) override;
    /// Only the newest download fills the list.
    void requestFinished(WebServiceConnector& request, bool success, const json::Value& data) override;
    void requestFailed(WebServiceConnector& request, const platform::TransportError& error) override;

    json::Value data;
    std::shared_ptr<platform::TableView> movementTableView;
    std::shared_ptr<WebServiceConnector> movementWSC;
    platform::DateFormatter dateFormatter;
};

}
