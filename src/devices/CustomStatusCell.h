#pragma once

#include "platform/ui/TableViewCell.h"

#include <memory>

namespace hestio {

/// A device row: its name, its status line and the status orb.
class CustomStatusCell : public platform::TableViewCell {
public:
    static constexpr double rowHeight = 56;
    [[nodiscard]] static std::shared_ptr<CustomStatusCell> create(std::string reuseIdentifier);
    explicit CustomStatusCell(std::string reuseIdentifier);
    std::string className() const override { return "CustomStatusCell"; }

    platform::Label& deviceLabel() { return *m_deviceLabel; }
    platform::Label& statusLabel() { return *m_statusLabel; }
    platform::ImageView& statusOnOff() { return *m_statusOnOff; }

    void layoutSubviews() override;

private:
    std::shared_ptr<platform::Label> m_deviceLabel;
    std::shared_ptr<platform::Label> m_statusLabel;
    std::shared_ptr<platform::ImageView> m_statusOnOff;
};

}
