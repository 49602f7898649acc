#include "devices/DetailCells.h"

namespace hestio {

using namespace platform;

namespace {

    constexpr double kClosedHeight = 44;

}

std::shared_ptr<OnOffCell> OnOffCell::create(std::string reuseIdentifier)
{
    return std::make_shared<OnOffCell>(std::move(reuseIdentifier));
}

OnOffCell::OnOffCell(std::string reuseIdentifier)
    : TableViewCell(TableViewCellStyle::Default, std::move(reuseIdentifier))
    , m_onOffSwitch(Switch::create())
    , m_onOffActivityIndicator(ActivityIndicatorView::create(ActivityIndicatorView::Style::Gray))
    , m_onOffLabel(Label::create())
{
    m_onOffSwitch->setAccessibilityIdentifier("onOffSwitch");
    m_onOffSwitch->setOnTintColor(Color::rgb(0.098, 0.6, 0.25));
    m_onOffActivityIndicator->setAccessibilityIdentifier("onOffActivityIndicator");
    m_onOffActivityIndicator->setHidesWhenStopped(true);
    m_onOffActivityIndicator->setHidden(true);
    m_onOffLabel->setAccessibilityIdentifier("onOffLabel");
    m_onOffLabel->setText("Power");
    m_onOffLabel->setFont(Font::boldSystemFont(17));
    m_onOffLabel->setBackgroundColor(Color::clear());
    contentView().addSubview(m_onOffLabel);
    contentView().addSubview(m_onOffSwitch);
    contentView().addSubview(m_onOffActivityIndicator);
}

void OnOffCell::layoutSubviews()
{
    TableViewCell::layoutSubviews();
    Rect area = contentView().bounds();
    m_onOffLabel->setFrame({ 12, 0, area.size.width - 110, area.size.height });
    m_onOffSwitch->setFrame({ area.size.width - Switch::defaultSize.width - 10,
        (area.size.height - Switch::defaultSize.height) / 2, Switch::defaultSize.width, Switch::defaultSize.height });
    m_onOffActivityIndicator->setFrame({ area.size.width - 60, (area.size.height - 20) / 2, 20, 20 });
}

BaseDrawerCell::BaseDrawerCell(std::string reuseIdentifier)
    : TableViewCell(TableViewCellStyle::Default, std::move(reuseIdentifier))
    , m_actionName(Label::create())
    , m_drawerBG(ImageView::create(Rect {}))
{
    m_actionName->setAccessibilityIdentifier("actionName");
    m_actionName->setFont(Font::boldSystemFont(16));
    m_actionName->setBackgroundColor(Color::clear());
    m_drawerBG->setAccessibilityIdentifier("drawerBG");
    setClipsToBounds(true);
    contentView().addSubview(m_drawerBG);
    contentView().addSubview(m_actionName);
}

Rect BaseDrawerCell::drawerArea()
{
    Rect area = contentView().bounds();
    return { 0, kClosedHeight, area.size.width, std::max(0.0, area.size.height - kClosedHeight) };
}

void BaseDrawerCell::layoutSubviews()
{
    TableViewCell::layoutSubviews();
    Rect area = contentView().bounds();
    m_actionName->setFrame({ 12, 0, area.size.width - 24, kClosedHeight });
    m_drawerBG->setFrame({ 0, kClosedHeight, area.size.width, 46 });
}

std::shared_ptr<DrawerBinaryCell> DrawerBinaryCell::create(std::string reuseIdentifier)
{
    return std::make_shared<DrawerBinaryCell>(std::move(reuseIdentifier));
}

DrawerBinaryCell::DrawerBinaryCell(std::string reuseIdentifier)
    : BaseDrawerCell(std::move(reuseIdentifier))
    , m_onOff(Switch::create())
{
    m_onOff->setAccessibilityIdentifier("onOff");
    contentView().addSubview(m_onOff);
}

void DrawerBinaryCell::layoutSubviews()
{
    BaseDrawerCell::layoutSubviews();
    Rect drawer = drawerArea();
    m_onOff->setFrame({ drawer.size.width - Switch::defaultSize.width - 14, drawer.origin.y + 9,
        Switch::defaultSize.width, Switch::defaultSize.height });
}

std::shared_ptr<DrawerRangeCell> DrawerRangeCell::create(std::string reuseIdentifier)
{
    return std::make_shared<DrawerRangeCell>(std::move(reuseIdentifier));
}

DrawerRangeCell::DrawerRangeCell(std::string reuseIdentifier)
    : BaseDrawerCell(std::move(reuseIdentifier))
    , m_slider(Slider::create())
    , m_sliderVal(Label::create())
{
    m_slider->setAccessibilityIdentifier("slider");
    m_slider->setMinimumTrackTintColor(Color::rgb(0.098, 0.6, 0.25));
    m_sliderVal->setAccessibilityIdentifier("sliderVal");
    m_sliderVal->setTextAlignment(TextAlignment::Right);
    m_sliderVal->setBackgroundColor(Color::clear());
    contentView().addSubview(m_slider);
    contentView().addSubview(m_sliderVal);
}

void DrawerRangeCell::layoutSubviews()
{
    BaseDrawerCell::layoutSubviews();
    Rect drawer = drawerArea();
    m_slider->setFrame({ 14, drawer.origin.y + 10, drawer.size.width - 84, 24 });
    m_sliderVal->setFrame({ drawer.size.width - 64, drawer.origin.y + 10, 50, 24 });
}

}
