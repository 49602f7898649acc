#pragma once

#include "devices/FollowedSuggestionsSection.h"
#include "model/Suggestion.h"
#include "net/WebServiceConnector.h"
#include "session/CachedList.h"
#include "widgets/BaseTabViewController.h"
#include "widgets/OfflineBar.h"
#include "widgets/OfflineEmptyState.h"

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace hestio {

class CustomAdviceCell;
class Session;

/// The Suggestions tab: the household's energy-saving suggestions grouped by
/// room, each answered with like (follow) or dislike (ignore). The number of
/// unanswered suggestions is the badge of the tab and of the app icon. With a
/// session, a last section lists the suggestions the user followed and what
/// following them changed.
class AdviceTableViewController : public BaseTabViewController, public WebServiceConnectorDelegate {
public:
    [[nodiscard]] static std::shared_ptr<AdviceTableViewController> create(std::shared_ptr<Session> session = nullptr);
    explicit AdviceTableViewController(std::shared_ptr<Session> session = nullptr);
    ~AdviceTableViewController() override;

    void viewDidLoad() override;
    void viewDidAppear(bool animated) override;
    void viewDidUnload() override;

    void refresh() override;
    void downloadSuggestionsFromServer();
    /// The download's reply. Suggestions whose answer is on its way, or was
    /// accepted while the download ran, are left out: the reply may predate it.
    void dataReceived(bool success, const json::Value& data, int tag) override;
    /// Tells the download from the answers, each answer by what it sent.
    void requestFinished(WebServiceConnector& request, bool success, const json::Value& data) override;
    void requestFailed(WebServiceConnector& request, const platform::TransportError& error) override;

    /// Answers the suggestion of the row holding `button`: tag 0 follows it,
    /// any other tag ignores it. The row leaves at once; it comes back if the
    /// answer does not reach the service.
    void cellButtonPressed(platform::Button& button);
    /// Shows the whole text of the suggestion, which its row may cut short.
    void didSelectRowAtIndexPath(platform::TableView&, platform::IndexPath path) override;
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
    /// The "Followed" section; none without a session.
    FollowedSuggestionsSection* followedSection() const { return m_followed.get(); }
    /// The list as kept between runs, and the bar that says how old it is.
    const CachedList& keptList() const { return m_kept; }
    const OfflineBar& offlineBar() const { return m_offlineBar; }
    /// What shows in the list's place while it has nothing and the service
    /// cannot be reached.
    const OfflineEmptyState& offlineEmptyState() const { return m_offlineEmpty; }
    /// The table section that shows the followed suggestions: after the
    /// rooms, and only while there are some.
    [[nodiscard]] std::optional<int> followedSectionIndex() const;

private:
    /// What an answer request carries to its reply.
    enum class Answer { Follow, Ignore };
    struct AnswerRequest {
        std::shared_ptr<Suggestion> suggestion;
        Answer answer { Answer::Ignore };
        /// Who answered, to keep a follow for them whoever is signed in when
        /// the service accepts it.
        std::string username;
        /// Where the row was, to put it back there if the answer is lost.
        int row { 0 };
        /// The list it was answered in; a list emptied by a sign-out since
        /// gets nothing back.
        unsigned listGeneration { 0 };
    };

    std::shared_ptr<AdviceTableViewController> self();
    enum class Outcome { Saved, Refused, Lost };
    void answerFinished(const AnswerRequest& answer, Outcome outcome);
    /// Lists a suggestion again whose answer did not reach the service.
    void restore(const AnswerRequest& answer);
    void followedSectionChanged();
    /// Puts the empty-list label below the followed suggestions, if any.
    void placeEmptyListHint();
    /// Takes an answered suggestion out of the list kept for the next run.
    void dropFromKeptList(std::int32_t suggestionID);
    void offlineStateChanged();
    void updateOfflineBar();

    [[nodiscard]] static bool signedIn();
    int m_numberOfNewItems { 0 };
    /// A reply has filled the list since the screen loaded or the user changed.
    bool m_listReceived { false };
    std::shared_ptr<platform::Label> m_noSuggestionsLabel;
    std::shared_ptr<WebServiceConnector> m_receiverWSC;
    std::shared_ptr<WebServiceConnector> m_senderWSC;
    /// Suggestions whose answer is on its way (an identifier once per answer).
    std::multiset<std::int32_t> m_answersInFlight;
    /// Suggestions answered while the running download was under way.
    std::set<std::int32_t> m_answeredDuringDownload;
    unsigned m_listGeneration { 0 };
    std::shared_ptr<Session> m_session;
    std::shared_ptr<FollowedSuggestionsSection> m_followed;
    CachedList m_kept;
    OfflineBar m_offlineBar;
    OfflineEmptyState m_offlineEmpty;
};

}
