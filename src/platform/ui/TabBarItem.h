#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace hestio::platform {

class Image;

/// A tab: title, image and an optional badge text.
class TabBarItem {
public:
    const std::string& title() const { return m_title; }
    void setTitle(std::string title);
    std::shared_ptr<const Image> image() const { return m_image; }
    /// Keeps the image and its name (tab bars tint named SVG icons).
    void setImage(std::shared_ptr<const Image> image, std::string name = {});
    /// Looks the image up by name among the assets.
    void setImageNamed(const std::string& name);
    const std::string& imageName() const { return m_imageName; }
    std::optional<std::string> badgeValue() const { return m_badge; }
    void setBadgeValue(std::optional<std::string> badge);
    int tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);

    void setChangeHandler(std::function<void()> handler) { m_changed = std::move(handler); }

private:
    void changed() const
    {
        if (m_changed)
            m_changed();
    }
    std::string m_title;
    std::shared_ptr<const Image> m_image;
    std::string m_imageName;
    std::optional<std::string> m_badge;
    int m_tag { 0 };
    bool m_enabled { true };
    std::function<void()> m_changed;
};

}
