#pragma once

#include "platform/foundation/Date.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/TableViewController.h"

#include <memory>
#include <optional>
#include <string>

namespace hestio {

/// A list refreshed by pulling it down past its top. A header above the first
/// row says to pull, then to release; a spinner turns while the subclass
/// downloads; afterwards the header tells when the list was last updated.
///
/// Subclasses override refresh() to start their download and call
/// stopLoading() once the reply is shown — also when it failed, so that the
/// header never stays spinning and the next pull can start.
class RefreshTableViewController : public platform::TableViewController {
public:
    /// Header height, pull threshold and the top inset kept while loading.
    static constexpr double headerHeight = 52;
    static constexpr double animationDuration = 0.3;

    explicit RefreshTableViewController(platform::TableViewStyle style = platform::TableViewStyle::Plain);
    ~RefreshTableViewController() override;

    void setupStrings();
    void viewDidLoad() override;
    void addPullToRefreshHeader();
    void willAnimateRotationToInterfaceOrientation(
        platform::InterfaceOrientation orientation, double duration) override;

    void scrollViewWillBeginDragging(platform::ScrollView& scrollView) override;
    void scrollViewDidScroll(platform::ScrollView& scrollView) override;
    void scrollViewDidEndDragging(platform::ScrollView& scrollView, bool willDecelerate) override;

    void startLoading();
    /// Leaves the loading state after a download that was shown: the header
    /// tells the new "Last updated" time.
    void stopLoading();
    /// Leaves the loading state after a download that failed: the header
    /// keeps the time of the last one that succeeded.
    void stopLoadingAfterFailure();
    void updateTimeStampLabel();
    /// Starts the subclass's download. The base version ends the loading
    /// state two seconds later.
    virtual void refresh();

    std::string textPull;
    std::string textRelease;
    std::string textLoading;

    platform::View* refreshHeaderView() const { return m_refreshHeaderView.get(); }
    platform::Label* refreshLabel() const { return m_refreshLabel.get(); }
    platform::Label* timestamp() const { return m_timestamp.get(); }
    platform::ImageView* refreshArrow() const { return m_refreshArrow.get(); }
    platform::ActivityIndicatorView* refreshSpinner() const { return m_refreshSpinner.get(); }
    bool isDragging() const { return m_isDragging; }
    bool isLoading() const { return m_isLoading; }

    /// Header width: 320 points upright, 480 in every other orientation.
    [[nodiscard]] static double headerWidth(platform::InterfaceOrientation orientation);

private:
    void endLoading(bool updated);
    void stopLoadingComplete(bool updated);
    void layOutHeader(double width);

    std::shared_ptr<platform::View> m_refreshHeaderView;
    std::shared_ptr<platform::Label> m_refreshLabel;
    std::shared_ptr<platform::Label> m_timestamp;
    std::shared_ptr<platform::ImageView> m_refreshArrow;
    std::shared_ptr<platform::ActivityIndicatorView> m_refreshSpinner;
    bool m_isDragging { false };
    bool m_isLoading { false };
};

}
