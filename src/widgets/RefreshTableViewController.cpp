#include "widgets/RefreshTableViewController.h"

#include "platform/foundation/DateFormatter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/Animator.h"

#include <cmath>
#include <numbers>

namespace hestio {

using namespace platform;

namespace {

    constexpr double kArrowWidth = 27;
    constexpr double kArrowHeight = 44;
    constexpr double kSpinnerSize = 20;
    constexpr double kDefaultRefreshSeconds = 2.0;

    AffineTransform arrowTurned()
    {
        return AffineTransform::rotation(std::numbers::pi);
    }
    AffineTransform arrowUpright()
    {
        return AffineTransform::rotation(2 * std::numbers::pi);
    }

    std::shared_ptr<Label> headerLabel(Rect frame)
    {
        auto label = Label::create(frame);
        label->setBackgroundColor(Color::clear());
        label->setFont(Font::boldSystemFont(13));
        label->setTextColor(Color::white(0.33));
        label->setTextAlignment(TextAlignment::Center);
        return label;
    }

}

RefreshTableViewController::RefreshTableViewController(TableViewStyle style)
    : TableViewController(style)
{
    setupStrings();
}

RefreshTableViewController::~RefreshTableViewController()
{
    if (auto* loop = RunLoop::currentIfAny())
        loop->cancelDelayed(this);
}

void RefreshTableViewController::setupStrings()
{
    textPull = "Pull down to refresh...";
    textRelease = "Release to refresh...";
    textLoading = "Loading...";
}

void RefreshTableViewController::viewDidLoad()
{
    TableViewController::viewDidLoad();
    addPullToRefreshHeader();
}

double RefreshTableViewController::headerWidth(InterfaceOrientation orientation)
{
    return orientation == InterfaceOrientation::Portrait ? 320 : 480;
}

void RefreshTableViewController::addPullToRefreshHeader()
{
    double width = headerWidth(interfaceOrientation());
    m_refreshHeaderView = View::create({ 0, -headerHeight, width, headerHeight });
    m_refreshHeaderView->setAccessibilityIdentifier("refreshHeaderView");
    m_refreshHeaderView->setBackgroundColor(Color::clear());

    m_refreshLabel = headerLabel({ 0, 0, width, headerHeight / 2 });
    m_refreshLabel->setAccessibilityIdentifier("refreshLabel");
    m_timestamp = headerLabel({ 0, headerHeight / 2, width, headerHeight / 2 });
    m_timestamp->setAccessibilityIdentifier("timestamp");
    m_timestamp->setText("");

    m_refreshArrow = ImageView::create(Rect {});
    m_refreshArrow->setImageNamed("arrow.png");
    m_refreshArrow->setAccessibilityIdentifier("refreshArrow");
    m_refreshArrow->setFrame({ std::floor((headerHeight - kArrowWidth) / 2),
        std::floor(headerHeight - kArrowHeight) / 2, kArrowWidth, kArrowHeight });

    m_refreshSpinner = ActivityIndicatorView::create(ActivityIndicatorView::Style::Gray);
    m_refreshSpinner->setAccessibilityIdentifier("refreshSpinner");
    m_refreshSpinner->setFrame({ std::floor(std::floor(headerHeight - kSpinnerSize) / 2),
        std::floor((headerHeight - kSpinnerSize) / 2), kSpinnerSize, kSpinnerSize });
    m_refreshSpinner->setHidesWhenStopped(true);

    m_refreshHeaderView->addSubview(m_refreshLabel);
    m_refreshHeaderView->addSubview(m_timestamp);
    m_refreshHeaderView->addSubview(m_refreshArrow);
    m_refreshHeaderView->addSubview(m_refreshSpinner);
    tableView().addSubview(m_refreshHeaderView);
}

void RefreshTableViewController::layOutHeader(double width)
{
    if (!m_refreshHeaderView)
        return;
    m_refreshHeaderView->setFrame({ 0, -headerHeight, width, headerHeight });
    m_refreshLabel->setFrame({ 0, 0, width, headerHeight / 2 });
    m_timestamp->setFrame({ 0, headerHeight / 2, width, headerHeight / 2 });
}

void RefreshTableViewController::willAnimateRotationToInterfaceOrientation(
    InterfaceOrientation orientation, double duration)
{
    TableViewController::willAnimateRotationToInterfaceOrientation(orientation, duration);
    layOutHeader(headerWidth(orientation));
}

void RefreshTableViewController::scrollViewWillBeginDragging(ScrollView&)
{
    if (m_isLoading)
        return;
    m_isDragging = true;
}

void RefreshTableViewController::scrollViewDidScroll(ScrollView& scrollView)
{
    double y = scrollView.contentOffset().y;
    if (m_isLoading) {
        // The header stays visible while loading, but scrolls away with the
        // content when the list is scrolled up.
        if (y > 0)
            scrollView.setContentInset({});
        else if (y >= -headerHeight)
            scrollView.setContentInset({ -y, 0, 0, 0 });
        return;
    }
    if (!m_isDragging || y >= 0 || !m_refreshLabel)
        return;
    Animator::animate(Animator::defaultDuration, [&] {
        if (y < -headerHeight) {
            m_refreshLabel->setText(textRelease);
            m_refreshArrow->setTransform(arrowTurned());
        } else {
            m_refreshLabel->setText(textPull);
            m_refreshArrow->setTransform(arrowUpright());
        }
    });
}

void RefreshTableViewController::scrollViewDidEndDragging(ScrollView& scrollView, bool)
{
    if (m_isLoading)
        return;
    m_isDragging = false;
    if (scrollView.contentOffset().y <= -headerHeight)
        startLoading();
}

void RefreshTableViewController::startLoading()
{
    m_isLoading = true;
    Animator::animate(animationDuration, [&] {
        tableView().setContentInset({ headerHeight, 0, 0, 0 });
        if (m_refreshLabel) {
            m_refreshLabel->setText(textLoading);
            m_refreshArrow->setHidden(true);
            m_refreshSpinner->startAnimating();
        }
    });
    refresh();
}

void RefreshTableViewController::stopLoading()
{
    endLoading(true);
}

void RefreshTableViewController::stopLoadingAfterFailure()
{
    endLoading(false);
}

void RefreshTableViewController::endLoading(bool updated)
{
    m_isLoading = false;
    std::weak_ptr<ViewController> weakSelf = weak_from_this();
    Animator::animate(
        animationDuration,
        [&] {
            tableView().setContentInset({});
            // The list scrolls back over the header it showed while loading;
            // without an inset for it the header would otherwise stay in view.
            Point offset = tableView().contentOffset();
            if (offset.y < 0)
                tableView().setContentOffset({ offset.x, 0 });
            if (m_refreshArrow)
                m_refreshArrow->setTransform(arrowUpright());
        },
        [weakSelf, this, updated](bool) {
            if (weakSelf.lock())
                stopLoadingComplete(updated);
        });
}

void RefreshTableViewController::stopLoadingComplete(bool updated)
{
    if (!m_refreshLabel)
        return;
    m_refreshLabel->setText(textPull);
    m_refreshArrow->setHidden(false);
    m_refreshSpinner->stopAnimating();
    if (updated)
        updateTimeStampLabel();
}

void RefreshTableViewController::updateTimeStampLabel()
{
    if (!m_timestamp)
        return;
    DateFormatter formatter("MM-dd-YY hh:mm a");
    m_timestamp->setText("Last updated: " + formatter.stringFromDate(RunLoop::current().clock().now()));
}

void RefreshTableViewController::refresh()
{
    std::weak_ptr<ViewController> weakSelf = weak_from_this();
    RunLoop::current().postDelayed(
        kDefaultRefreshSeconds,
        [weakSelf, this] {
            if (weakSelf.lock())
                stopLoading();
        },
        this);
}

}
