#pragma once

#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/Label.h"
#include "platform/ui/TableViewCell.h"

#include <memory>
#include <string>

namespace hestio {

/// A row of the Suggestions tab's "Followed" section: the device, the
/// suggestion's text on one line, what following it changed, and what that
/// figure is against. A spinner turns while the figure is on its way.
class FollowedSuggestionCell : public platform::TableViewCell {
public:
    static constexpr double rowHeight = 76;
    /// How the figure reads: a saving, more use, or no figure (yet).
    enum class Tone { Saved, Spent, Plain };

    [[nodiscard]] static std::shared_ptr<FollowedSuggestionCell> create(std::string reuseIdentifier);
    explicit FollowedSuggestionCell(std::string reuseIdentifier);
    std::string className() const override { return "FollowedSuggestionCell"; }

    platform::Label& deviceLabel() { return *m_deviceLabel; }
    platform::Label& adviceLabel() { return *m_adviceLabel; }
    platform::Label& savingsLabel() { return *m_savingsLabel; }
    platform::Label& savingsNoteLabel() { return *m_savingsNoteLabel; }
    platform::ActivityIndicatorView& spinner() { return *m_spinner; }

    /// Shows `figure` and `note`, with the spinner while `loading`.
    void setFigure(const std::string& figure, const std::string& note, Tone tone, bool loading);

    void layoutSubviews() override;

private:
    std::shared_ptr<platform::Label> m_deviceLabel;
    std::shared_ptr<platform::Label> m_adviceLabel;
    std::shared_ptr<platform::Label> m_savingsLabel;
    std::shared_ptr<platform::Label> m_savingsNoteLabel;
    std::shared_ptr<platform::ActivityIndicatorView> m_spinner;
};

}
