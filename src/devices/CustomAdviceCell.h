#pragma once

#include "platform/ui/TableViewCell.h"

#include <memory>

namespace hestio {

/// A suggestion row: the device it concerns, the suggestion's text, and a
/// like (tag 0, follow) and a dislike (tag 1, ignore) button.
class CustomAdviceCell : public platform::TableViewCell {
public:
    static constexpr double rowHeight = 72;
    /// The row's height for these texts in a table `tableWidth` wide:
    /// `rowHeight` at a text scale of 1; with larger text, as tall as the
    /// device's name and the whole suggestion need (neither is cut).
    [[nodiscard]] static double rowHeightFor(const std::string& device, const std::string& advice, double tableWidth);
    [[nodiscard]] static std::shared_ptr<CustomAdviceCell> create(std::string reuseIdentifier);
    explicit CustomAdviceCell(std::string reuseIdentifier);
    std::string className() const override { return "CustomAdviceCell"; }

    platform::Label& deviceLabel() { return *m_deviceLabel; }
    platform::Label& adviceLabel() { return *m_adviceLabel; }
    const std::shared_ptr<platform::Button>& likeButton() const { return m_likeButton; }
    const std::shared_ptr<platform::Button>& dislikeButton() const { return m_dislikeButton; }

    void layoutSubviews() override;

private:
    std::shared_ptr<platform::Label> m_deviceLabel;
    std::shared_ptr<platform::Label> m_adviceLabel;
    std::shared_ptr<platform::Button> m_likeButton;
    std::shared_ptr<platform::Button> m_dislikeButton;
};

}
