#include "devices/FollowedSuggestionCell.h"

namespace hestio {

using namespace platform;

std::shared_ptr<FollowedSuggestionCell> FollowedSuggestionCell::create(std::string reuseIdentifier)
{
    return std::make_shared<FollowedSuggestionCell>(std::move(reuseIdentifier));
}

FollowedSuggestionCell::FollowedSuggestionCell(std::string reuseIdentifier)
    : TableViewCell(TableViewCellStyle::Default, std::move(reuseIdentifier))
    , m_deviceLabel(Label::create())
    , m_adviceLabel(Label::create())
    , m_savingsLabel(Label::create())
    , m_savingsNoteLabel(Label::create())
    , m_spinner(ActivityIndicatorView::create(ActivityIndicatorView::Style::Gray))
{
    auto style = [](Label& label, const char* identifier, Font font, Color color) {
        label.setAccessibilityIdentifier(identifier);
        label.setFont(std::move(font));
        label.setTextColor(color);
        label.setBackgroundColor(Color::clear());
        label.setNumberOfLines(1);
        label.setLineBreakMode(LineBreakMode::TruncateTail);
    };
    style(*m_deviceLabel, "followedDeviceLabel", Font::boldSystemFont(14), Color::white(0.15));
    // One line: the whole text is a tap away.
    style(*m_adviceLabel, "followedAdviceLabel", Font::systemFont(12), Color::white(0.4));
    style(*m_savingsLabel, "savingsLabel", Font::boldSystemFont(14), Color::white(0.15));
    style(*m_savingsNoteLabel, "savingsNoteLabel", Font::systemFont(11), Color::white(0.45));
    m_spinner->setAccessibilityIdentifier("savingsSpinner");
    m_spinner->setHidesWhenStopped(true);

    contentView().addSubview(m_deviceLabel);
    contentView().addSubview(m_adviceLabel);
    contentView().addSubview(m_savingsLabel);
    contentView().addSubview(m_savingsNoteLabel);
    contentView().addSubview(m_spinner);
}

void FollowedSuggestionCell::setFigure(const std::string& figure, const std::string& note, Tone tone, bool loading)
{
    m_savingsLabel->setText(figure);
    m_savingsNoteLabel->setText(note);
    switch (tone) {
    case Tone::Saved:
        m_savingsLabel->setTextColor(Color::rgb(0.1, 0.5, 0.15));
        break;
    case Tone::Spent:
        m_savingsLabel->setTextColor(Color::rgb(0.7, 0.25, 0.1));
        break;
    case Tone::Plain:
        m_savingsLabel->setTextColor(Color::white(0.3));
        break;
    }
    if (loading)
        m_spinner->startAnimating();
    else
        m_spinner->stopAnimating();
    setNeedsLayout();
}

void FollowedSuggestionCell::layoutSubviews()
{
    TableViewCell::layoutSubviews();
    Rect area = contentView().bounds();
    double width = area.size.width - 20;
    m_deviceLabel->setFrame({ 10, 5, width, 18 });
    m_adviceLabel->setFrame({ 10, 23, width, 16 });
    double spinnerWidth = m_spinner->isAnimating() ? 24 : 0;
    m_spinner->setFrame({ 10, 40, 20, 20 });
    m_savingsLabel->setFrame({ 10 + spinnerWidth, 40, width - spinnerWidth, 18 });
    m_savingsNoteLabel->setFrame({ 10, 58, width, 14 });
}

}
