#pragma once

#include "platform/ui/TableViewCell.h"

#include <memory>

namespace hestio {

/// A row with a name on the left and its value on the right ("Power Draw",
/// "12.3 W"). Used by the device detail screen and the home tab.
class InfoDisplayCell : public platform::TableViewCell {
public:
    [[nodiscard]] static std::shared_ptr<InfoDisplayCell> create(std::string reuseIdentifier);
    explicit InfoDisplayCell(std::string reuseIdentifier);
    std::string className() const override { return "InfoDisplayCell"; }

    platform::Label& name() { return *m_name; }
    platform::Label& value() { return *m_value; }

    void layoutSubviews() override;

private:
    std::shared_ptr<platform::Label> m_name;
    std::shared_ptr<platform::Label> m_value;
};

}
