#pragma once

#include "platform/ui/TableViewCell.h"

#include <memory>
#include <string>
#include <vector>

namespace hestio {

/// A row of two buttons side by side that open the power-draw and the
/// energy-consumption graphs. Used by the device detail screen and the home
/// tab; the owner titles the buttons and binds their actions.
class GraphButtonsCell : public platform::TableViewCell {
public:
    [[nodiscard]] static std::shared_ptr<GraphButtonsCell> create(std::string reuseIdentifier);
    explicit GraphButtonsCell(std::string reuseIdentifier);
    std::string className() const override { return "GraphButtonsCell"; }

    const std::shared_ptr<platform::Button>& powerDrawButton() const { return m_powerDrawButton; }
    const std::shared_ptr<platform::Button>& energyConsumedButton() const { return m_energyConsumedButton; }

    void layoutSubviews() override;

    /// The row's height, 44 at a text scale of 1, for buttons titled
    /// `titles` in a table `tableWidth` wide: taller with larger text, and
    /// taller still where a title wraps onto a second line.
    [[nodiscard]] static double rowHeightFor(const std::vector<std::string>& titles, double tableWidth);

private:
    std::shared_ptr<platform::Button> m_powerDrawButton;
    std::shared_ptr<platform::Button> m_energyConsumedButton;
};

}
