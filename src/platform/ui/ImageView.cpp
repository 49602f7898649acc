#include "platform/ui/ImageView.h"

#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Theme.h"

#include <algorithm>

namespace hestio::platform {

std::shared_ptr<ImageView> ImageView::create(Rect frame)
{
    return std::make_shared<ImageView>(frame);
}

std::shared_ptr<ImageView> ImageView::create(std::shared_ptr<const Image> image)
{
    Size size = image ? image->size() : Size {};
    auto view = std::make_shared<ImageView>(Rect { { 0, 0 }, size });
    view->setImage(std::move(image));
    return view;
}

ImageView::ImageView(Rect frame)
    : View(frame)
{
    setUserInteractionEnabled(false);
}

void ImageView::setImage(std::shared_ptr<const Image> image)
{
    m_image = std::move(image);
    m_imageName.clear();
    setNeedsDisplay();
}

void ImageView::setImageNamed(const std::string& name)
{
    setImage(theme::imageNamed(name));
    m_imageName = name;
}

void ImageView::setHighlightedImage(std::shared_ptr<const Image> image)
{
    m_highlightedImage = std::move(image);
    m_highlightedName.clear();
    setNeedsDisplay();
}

void ImageView::setHighlightedImageNamed(const std::string& name)
{
    setHighlightedImage(theme::imageNamed(name));
    m_highlightedName = name;
}

void ImageView::setHighlighted(bool highlighted)
{
    if (highlighted == m_highlighted)
        return;
    m_highlighted = highlighted;
    setNeedsDisplay();
}

void ImageView::setContentMode(ContentMode mode)
{
    m_contentMode = mode;
    setNeedsDisplay();
}

Size ImageView::sizeThatFits(Size) const
{
    return m_image ? m_image->size() : Size {};
}

void ImageView::draw(Context& context, const Rect& rect)
{
    auto image = (m_highlighted && m_highlightedImage) ? m_highlightedImage : m_image;
    if (!image)
        return;
    Size is = image->size();
    Rect target = rect;
    if (is.width > 0 && is.height > 0) {
        switch (m_contentMode) {
        case ContentMode::ScaleToFill:
            break;
        case ContentMode::ScaleAspectFit:
        case ContentMode::ScaleAspectFill: {
            double sx = rect.width() / is.width, sy = rect.height() / is.height;
            double s = m_contentMode == ContentMode::ScaleAspectFit ? std::min(sx, sy) : std::max(sx, sy);
            Size fit { is.width * s, is.height * s };
            target = { rect.midX() - fit.width / 2, rect.midY() - fit.height / 2, fit.width, fit.height };
            break;
        }
        case ContentMode::Center:
            target = { rect.midX() - is.width / 2, rect.midY() - is.height / 2, is.width, is.height };
            break;
        case ContentMode::Top:
            target = { rect.midX() - is.width / 2, rect.y(), is.width, is.height };
            break;
        case ContentMode::Bottom:
            target = { rect.midX() - is.width / 2, rect.maxY() - is.height, is.width, is.height };
            break;
        case ContentMode::Left:
            target = { rect.x(), rect.midY() - is.height / 2, is.width, is.height };
            break;
        case ContentMode::Right:
            target = { rect.maxX() - is.width, rect.midY() - is.height / 2, is.width, is.height };
            break;
        }
    }
    ContextStateSaver saver(context);
    if (m_contentMode == ContentMode::ScaleAspectFill)
        context.clipToRect(rect);
    context.drawImage(*image, target);
}

std::string ImageView::describeProperties() const
{
    std::string out;
    const std::string& name = m_highlighted && !m_highlightedName.empty() ? m_highlightedName : m_imageName;
    if (!name.empty())
        out += " image=" + name;
    if (m_highlighted)
        out += " highlighted";
    return out;
}

}
