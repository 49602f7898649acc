#pragma once

#include "devices/Suggestion.h"
#include "net/WebServiceConnector.h"
#include "widgets/BaseTabViewController.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace hestio {

class CustomAdviceCell;

/// The Suggestions tab: the household's energy-saving suggestions grouped by
/// room, each answered with like (follow) or dislike (ignore). The number of
/// unanswered suggestions is the badge of the tab and of the app icon.
class AdviceTableViewController : public BaseTabViewController, public WebServiceConnectorDelegate {
public:
    static std::shared_ptr<AdviceTableViewController> create();
    AdviceTableViewController();
    ~AdviceTableViewController() override;

    void viewDidLoad() override;
    void viewDidAppear(bool animated) override;
    void viewDidUnload() override;

    void refresh() override;
    void downloadSuggestionsFromServer();
    void dataReceived(bool success, const json::Value& data, int tag) override;
    void dataSent(bool success, int tag) override;
    bool requestToServerFailedWithError(const platform::TransportError& error, const std::string& parameters) override;

    /// Answers the suggestion of the row holding `button`: tag 0 follows it,
    /// any other tag ignores it.
    void cellButtonPressed(platform::Button& button);
    /// Recounts the list, updates both badges and the empty-list label.
    int getAdviceCount();
    void reset();

    int numberOfNewItems() const { return m_numberOfNewItems; }
    /// Every change updates the badges.
    void setNumberOfNewItems(int count);

    int numberOfSectionsInTableView(platform::TableView&) override;
    int numberOfRowsInSection(platform::TableView&, int section) override;
    std::optional<std::string> titleForHeaderInSection(platform::TableView&, int section) override;
    std::shared_ptr<platform::TableViewCell> cellForRowAtIndexPath(
        platform::TableView&, platform::IndexPath path) override;
    double heightForRowAtIndexPath(platform::TableView&, platform::IndexPath) override;

    std::map<std::string, std::vector<std::shared_ptr<Suggestion>>> adviceData;
    std::vector<std::string> rooms;
    platform::Label* noSuggestionsLabel() const { return m_noSuggestionsLabel.get(); }
    const std::shared_ptr<WebServiceConnector>& receiverWSC() const { return m_receiverWSC; }
    const std::shared_ptr<WebServiceConnector>& senderWSC() const { return m_senderWSC; }

private:
    std::shared_ptr<AdviceTableViewController> self();

    static bool signedIn();
    int m_numberOfNewItems { 0 };
    /// A reply has filled the list since the screen loaded or the user changed.
    bool m_listReceived { false };
    std::shared_ptr<platform::Label> m_noSuggestionsLabel;
    std::shared_ptr<WebServiceConnector> m_receiverWSC;
    std::shared_ptr<WebServiceConnector> m_senderWSC;
};

}
