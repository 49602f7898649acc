#include "platform/gfx/FontPreparer.h"

#include "platform/gfx/Context.h"

#include <algorithm>

namespace hestio::platform {

FontPreparer::FontPreparer(Prepare prepare)
    : m_prepare(std::move(prepare))
{
}

FontPreparer::FontPreparer()
    : FontPreparer(prepareFont)
{
}

FontPreparer::~FontPreparer()
{
    m_timer.cancel();
}

void FontPreparer::prepare(const std::vector<Font>& fonts, double scale)
{
    bool wasIdle = m_pending.empty();
    for (const Font& font : fonts) {
        Request request { font, scale };
        if (std::find(m_done.begin(), m_done.end(), request) == m_done.end()
            && std::find(m_pending.begin(), m_pending.end(), request) == m_pending.end())
            m_pending.push_back(std::move(request));
    }
    if (wasIdle && !m_pending.empty())
        m_timer = RunLoop::current().postDelayed(firstDelay, [this] { prepareNext(); });
}

void FontPreparer::prepareNext()
{
    if (m_pending.empty())
        return;
    Request request = std::move(m_pending.front());
    m_pending.pop_front();
    m_prepare(request.font, request.scale);
    m_done.push_back(std::move(request));
    if (!m_pending.empty())
        m_timer = RunLoop::current().postDelayed(step, [this] { prepareNext(); });
}

}
