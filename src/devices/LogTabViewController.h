#pragma once

#include "net/WebServiceConnector.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Button.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/ViewController.h"
#include "json/Value.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace hestio {

/// The Log tab: the user's activities; a typed text becomes a new activity
/// (shown at once, removed again if the service refuses it) plus one
/// occurrence, and a tapped activity, once confirmed, gets another
/// occurrence stamped now.
class LogTabViewController final : public platform::ViewController,
                                   public platform::TableViewDataSource,
                                   public platform::TableViewDelegate,
                                   public platform::TextFieldDelegate,
                                   public platform::AlertViewDelegate,
                                   public WebServiceConnectorDelegate {
public:
    static constexpr double keyboardShift = 170;
    static constexpr double shiftSeconds = 0.2;
    enum Tag { OccurrenceTag = 0, NewActivityTag = 1 };

    static std::shared_ptr<LogTabViewController> create();
    LogTabViewController();
    ~LogTabViewController() override;

    void loadView() override;
    void viewDidLoad() override;
    void viewDidUnload() override;
    void viewDidAppear(bool animated) override;
    void viewDidDisappear(bool animated) override;

    void sendLogPost();
    void postRepeatActivity();
    void keyboardWillShow();
    void keyboardWillHide();
    void animateTextField(bool up);

    bool textFieldShouldReturn(platform::TextField& field) override;
    void alertViewClickedButtonAtIndex(platform::AlertView& alert, int index) override;
    void dataReceived(bool success, const json::Value& data, int tag) override;
    void dataSent(bool success, int tag) override;
    /// A post that never reached the service: a new activity leaves the list
    /// again (its text back in the field); logged like a refused post.
    bool requestToServerFailedWithError(const platform::TransportError& error, const std::string& parameters) override;

    int numberOfSectionsInTableView(platform::TableView&) override { return 2; }
    int numberOfRowsInSection(platform::TableView&, int section) override;
    std::optional<std::string> titleForHeaderInSection(platform::TableView&, int section) override;
    std::shared_ptr<platform::TableViewCell> cellForRowAtIndexPath(platform::TableView&, platform::IndexPath) override;
    bool canEditRowAtIndexPath(platform::TableView&, platform::IndexPath) override { return false; }
    void didSelectRowAtIndexPath(platform::TableView&, platform::IndexPath) override;

    std::shared_ptr<platform::TextField> logTextField;
    std::shared_ptr<platform::Button> sendButton;
    std::shared_ptr<platform::TableView> logTableView;
    /// The activities (dictionaries with "title", and "timestamp" for those
    /// added here), newest added first.
    std::vector<json::Value> data;
    std::shared_ptr<WebServiceConnector> activitysWSC;
    std::shared_ptr<WebServiceConnector> postActivityWSC;
    int selectedIndex { -1 };

private:
    std::shared_ptr<WebServiceConnectorDelegate> selfAsDelegate();
    void postOccurrence(const std::string& title);
    void withdrawNewActivity();
    static std::int64_t nowMilliseconds();
    std::string m_createdTitle;
    bool m_observingKeyboard { false };
};

}
