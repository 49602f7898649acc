#pragma once

#include "net/WebServiceConnector.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Button.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/ViewController.h"
#include "session/CachedList.h"
#include "session/Session.h"
#include "widgets/OfflineBar.h"
#include "widgets/OfflineEmptyState.h"
#include "json/Value.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace hestio {

/// The Log tab: the user's activities; a typed text becomes a new activity
/// (shown at once, removed again if the service refuses it) plus one
/// occurrence, and a tapped activity, once confirmed, gets another
/// occurrence stamped now. Every post lives to its own reply, however many
/// are under way.
class LogTabViewController final : public platform::ViewController,
                                   public platform::TableViewDataSource,
                                   public platform::TableViewDelegate,
                                   public platform::TextFieldDelegate,
                                   public platform::AlertViewDelegate,
                                   public WebServiceConnectorDelegate {
public:
    static constexpr double keyboardShift = 170;
    static constexpr double shiftSeconds = 0.2;

    /// Without a session the list is not kept between runs.
    [[nodiscard]] static std::shared_ptr<LogTabViewController> create(std::shared_ptr<Session> session = nullptr);
    explicit LogTabViewController(std::shared_ptr<Session> session = nullptr);
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
    /// The activity download's reply.
    void dataReceived(bool success, const json::Value& data, int tag) override;
    /// Tells the download from the posts, each post by what it sent.
    void requestFinished(WebServiceConnector& request, bool success, const json::Value& data) override;
    /// A post that never reached the service counts as refused: a new
    /// activity leaves the list again (its text back in the field).
    void requestFailed(WebServiceConnector& request, const platform::TransportError& error) override;
    /// Downloads the user's activities (at load, and again at each sign-in).
    void downloadActivities();

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
    /// The list as kept between runs, and the bar that says how old it is.
    const CachedList& keptList() const { return m_kept; }
    const OfflineBar& offlineBar() const { return m_offlineBar; }
    /// What shows in the list's place while it has nothing and the service
    /// cannot be reached.
    const OfflineEmptyState& offlineEmptyState() const { return m_offlineEmpty; }

private:
    /// What a post carries to its reply.
    struct ActivityPost {
        enum class Kind { NewActivity, Occurrence };
        Kind kind;
        std::string title;
        /// A new activity's row in `data`, found again by identity.
        json::Value entry;
        /// The list it was posted from; a list emptied by a sign-out since is
        /// not touched.
        unsigned listGeneration { 0 };
    };

    std::shared_ptr<WebServiceConnectorDelegate> selfAsDelegate();
    void postOccurrence(const std::string& title);
    void postFinished(const ActivityPost& post, bool saved);
    void withdrawNewActivity(const ActivityPost& post);
    void reset();
    [[nodiscard]] static bool signedIn();
    static std::int64_t nowMilliseconds();
    /// The activity tapped, asked about in the confirmation: the list may
    /// change under the alert.
    json::Value m_activityToRepeat;
    /// The rows added here, kept when the list is downloaded again before
    /// the service lists them.
    std::vector<json::Value> m_addedHere;
    unsigned m_listGeneration { 0 };
    bool m_observingKeyboard { false };
    CachedList m_kept;
    OfflineBar m_offlineBar;
    OfflineEmptyState m_offlineEmpty;
    void offlineStateChanged();
    void updateOfflineBar();
    /// The offline state's "Try Again": signs in again or downloads.
    void retryDownload();
};

}
