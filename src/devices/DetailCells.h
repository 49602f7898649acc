#pragma once

#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/Slider.h"
#include "platform/ui/Switch.h"
#include "platform/ui/TableViewCell.h"

#include <memory>

namespace hestio {

/// The on/off row of the device detail screen: a switch, and a spinner shown
/// instead of it while a request runs.
class OnOffCell : public platform::TableViewCell {
public:
    [[nodiscard]] static std::shared_ptr<OnOffCell> create(std::string reuseIdentifier);
    explicit OnOffCell(std::string reuseIdentifier);
    std::string className() const override { return "OnOffCell"; }

    const std::shared_ptr<platform::Switch>& onOffSwitch() const { return m_onOffSwitch; }
    platform::ActivityIndicatorView& onOffActivityIndicator() { return *m_onOffActivityIndicator; }
    platform::Label& onOffLabel() { return *m_onOffLabel; }
    void layoutSubviews() override;

private:
    std::shared_ptr<platform::Switch> m_onOffSwitch;
    std::shared_ptr<platform::ActivityIndicatorView> m_onOffActivityIndicator;
    std::shared_ptr<platform::Label> m_onOffLabel;
};

/// An action row that opens like a drawer: the action's name on top and,
/// once the row is tall, its control below over the drawer background.
class BaseDrawerCell : public platform::TableViewCell {
public:
    BaseDrawerCell(std::string reuseIdentifier);
    platform::Label& actionName() { return *m_actionName; }
    platform::ImageView& drawerBG() { return *m_drawerBG; }
    void layoutSubviews() override;

protected:
    /// Where the control goes: the lower part of a tall row.
    platform::Rect drawerArea();

private:
    std::shared_ptr<platform::Label> m_actionName;
    std::shared_ptr<platform::ImageView> m_drawerBG;
};

/// A binary action: a switch in the drawer.
class DrawerBinaryCell : public BaseDrawerCell {
public:
    [[nodiscard]] static std::shared_ptr<DrawerBinaryCell> create(std::string reuseIdentifier);
    explicit DrawerBinaryCell(std::string reuseIdentifier);
    std::string className() const override { return "DrawerBinaryCell"; }
    const std::shared_ptr<platform::Switch>& onOff() const { return m_onOff; }
    void layoutSubviews() override;

private:
    std::shared_ptr<platform::Switch> m_onOff;
};

/// A range action: a slider and its value in the drawer.
class DrawerRangeCell : public BaseDrawerCell {
public:
    [[nodiscard]] static std::shared_ptr<DrawerRangeCell> create(std::string reuseIdentifier);
    explicit DrawerRangeCell(std::string reuseIdentifier);
    std::string className() const override { return "DrawerRangeCell"; }
    const std::shared_ptr<platform::Slider>& slider() const { return m_slider; }
    platform::Label& sliderVal() { return *m_sliderVal; }
    void layoutSubviews() override;

private:
    std::shared_ptr<platform::Slider> m_slider;
    std::shared_ptr<platform::Label> m_sliderVal;
};

}
