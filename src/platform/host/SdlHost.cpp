#include "platform/host/SdlHost.h"

#include "platform/foundation/Clock.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/ImageImpl.h"
#include "platform/host/LocationMenu.h"
#include "platform/host/ScreenQuery.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"

#include <SDL.h>
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>

namespace hestio::platform {

namespace {

    constexpr double frameSeconds = 1.0 / 60;
    /// A Ctrl+wheel pinch ends when Ctrl is let go or the wheel has been
    /// still this long.
    constexpr double pinchIdleSeconds = 0.3;
    constexpr double pinchStartSpread = 50;
    constexpr int mouseFinger = 1;
    constexpr int pinchFingers[2] = { 101, 102 };

}

struct SdlHost::Impl {
    SDL_Window* window { nullptr };
    SDL_Renderer* renderer { nullptr };
    SDL_Texture* texture { nullptr };
    int textureWidth { 0 };
    int textureHeight { 0 };
    Uint32 wakeEventType { 0 };
    Point pointer;

    ~Impl()
    {
        if (texture)
            SDL_DestroyTexture(texture);
        if (renderer)
            SDL_DestroyRenderer(renderer);
        if (window)
            SDL_DestroyWindow(window);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
};

std::unique_ptr<SdlHost> SdlHost::open(Application& application, RunLoop& loop, Options options, std::string& error)
{
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        error = std::string("cannot open a window: ") + SDL_GetError();
        return nullptr;
    }
    std::unique_ptr<SdlHost> host(new SdlHost(application, loop, std::move(options)));
    auto& impl = *host->m_impl;
    // Exact pixels: the texture is copied 1:1 to the window, never filtered.
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "0");
    Size points = application.screenSize();
    double scale = application.screenScale();
    impl.window = SDL_CreateWindow("Hestio", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
        static_cast<int>(points.width * scale), static_cast<int>(points.height * scale), SDL_WINDOW_RESIZABLE);
    if (!impl.window) {
        error = std::string("cannot open a window: ") + SDL_GetError();
        return nullptr;
    }
    impl.renderer = SDL_CreateRenderer(impl.window, -1, 0);
    if (!impl.renderer)
        impl.renderer = SDL_CreateRenderer(impl.window, -1, SDL_RENDERER_SOFTWARE);
    if (!impl.renderer) {
        error = std::string("cannot draw in the window: ") + SDL_GetError();
        return nullptr;
    }
    impl.wakeEventType = SDL_RegisterEvents(1);
    Uint32 wakeType = impl.wakeEventType;
    // post() from another thread (the network's completions) wakes the wait.
    loop.setWakeUpHandler([wakeType] {
        SDL_Event event {};
        event.type = wakeType;
        SDL_PushEvent(&event);
    });
    SDL_StartTextInput();
    return host;
}

SdlHost::SdlHost(Application& application, RunLoop& loop, Options options)
    : m_application(application)
    , m_loop(loop)
    , m_options(std::move(options))
    , m_impl(std::make_unique<Impl>())
{
}

SdlHost::~SdlHost()
{
    m_loop.setWakeUpHandler({});
    SDL_StopTextInput();
}

double SdlHost::now() const
{
    return SDL_GetTicks64() / 1000.0;
}

void SdlHost::run()
{
    while (!m_quit)
        turn(std::nullopt);
    m_application.terminate();
}

void SdlHost::pass(double seconds)
{
    if (auto* manual = dynamic_cast<ManualClock*>(&m_loop.clock())) {
        manual->advance(std::max(0.0, seconds));
        turn(now());
        return;
    }
    double deadline = now() + std::max(0.0, seconds);
    do
        turn(deadline);
    while (!m_quit && now() < deadline);
}

void SdlHost::settle()
{
    if (auto* manual = dynamic_cast<ManualClock*>(&m_loop.clock()))
        manual->runPending();
    turn(now());
}

void SdlHost::turn(std::optional<double> deadline)
{
    bool manual = m_loop.clock().isManual();
    double realNow = now();
    double wait = std::numeric_limits<double>::infinity();
    if (deadline)
        wait = *deadline - realNow;
    if (!manual) {
        if (auto timer = m_loop.secondsUntilNextTimer())
            wait = std::min(wait, *timer);
        if (m_animatingAfterDraw)
            wait = std::min(wait, m_lastDrawReal + frameSeconds - realNow);
        // The status bar shows the time: wake when the minute turns.
        double wall = m_loop.clock().now().timeIntervalSince1970();
        wait = std::min(wait, 60 - std::fmod(wall, 60) + 0.01);
    }
    if (m_pinch.active)
        wait = std::min(wait, m_pinch.lastChange + pinchIdleSeconds - realNow);
    if (m_loop.hasPostedTasks() || !m_drewOnce)
        wait = 0;

    SDL_Event event;
    int got = std::isinf(wait) ? SDL_WaitEvent(&event)
                               : SDL_WaitEventTimeout(&event, static_cast<int>(std::ceil(std::max(0.0, wait) * 1000)));
    if (got) {
        handle(event);
        while (!m_quit && SDL_PollEvent(&event))
            handle(event);
    }

    {
        CurrentRunLoopScope scope(m_loop);
        if (auto* manualClock = dynamic_cast<ManualClock*>(&m_loop.clock()))
            manualClock->runPending();
        else
            m_loop.runDueTasks();
    }
    if (m_pinch.active && now() - m_pinch.lastChange >= pinchIdleSeconds)
        endPinch();
    drawIfNeeded();
}

void SdlHost::handle(const SDL_Event& event)
{
    if (event.type == m_impl->wakeEventType)
        return;
    switch (event.type) {
    case SDL_QUIT:
        m_quit = true;
        break;
    case SDL_WINDOWEVENT:
        handleWindowEvent(event);
        break;
    case SDL_MOUSEBUTTONDOWN:
        m_impl->pointer = { static_cast<double>(event.button.x), static_cast<double>(event.button.y) };
        if (event.button.button == SDL_BUTTON_LEFT && !m_mouseDown) {
            m_mouseDown = true;
            sendTouch(mouseFinger, m_impl->pointer, static_cast<int>(TouchPhase::Began));
        }
        break;
    case SDL_MOUSEMOTION:
        m_impl->pointer = { static_cast<double>(event.motion.x), static_cast<double>(event.motion.y) };
        if (m_mouseDown)
            sendTouch(mouseFinger, m_impl->pointer, static_cast<int>(TouchPhase::Moved));
        break;
    case SDL_MOUSEBUTTONUP:
        m_impl->pointer = { static_cast<double>(event.button.x), static_cast<double>(event.button.y) };
        if (event.button.button == SDL_BUTTON_LEFT && m_mouseDown) {
            m_mouseDown = false;
            sendTouch(mouseFinger, m_impl->pointer, static_cast<int>(TouchPhase::Ended));
        }
        break;
    case SDL_MOUSEWHEEL:
        handleWheel(event);
        break;
    case SDL_MULTIGESTURE:
        // Two fingers on a trackpad spreading or closing.
        if (event.mgesture.numFingers == 2 && std::abs(event.mgesture.dDist) > 0.001)
            pinchBy(1 + event.mgesture.dDist * 4, m_impl->pointer);
        break;
    case SDL_TEXTINPUT:
        // Keys typed while the Location menu is open are the menu's.
        if (m_locationMenu && m_locationMenu->isOpen())
            break;
        if (m_application.firstResponder()) {
            m_application.sendText(event.text.text);
            m_inputSinceDraw = true;
        }
        break;
    case SDL_KEYDOWN:
        handleKey(event);
        break;
    case SDL_KEYUP:
        // Letting go of Ctrl lifts the fingers of a wheel pinch.
        if ((event.key.keysym.sym == SDLK_LCTRL || event.key.keysym.sym == SDLK_RCTRL) && m_pinch.active)
            endPinch();
        break;
    default:
        break;
    }
}

void SdlHost::handleWindowEvent(const SDL_Event& event)
{
    switch (event.window.event) {
    case SDL_WINDOWEVENT_CLOSE:
        m_quit = true;
        break;
    case SDL_WINDOWEVENT_MINIMIZED:
        m_application.enterBackground();
        break;
    case SDL_WINDOWEVENT_RESTORED:
    case SDL_WINDOWEVENT_SHOWN:
        if (m_application.applicationState() == ApplicationState::Background)
            m_application.enterForeground();
        m_inputSinceDraw = true;
        break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
        // A finger cannot stay down on a window that lost the pointer.
        if (m_mouseDown) {
            m_mouseDown = false;
            sendTouch(mouseFinger, m_impl->pointer, static_cast<int>(TouchPhase::Cancelled));
        }
        if (m_pinch.active)
            endPinch();
        break;
    case SDL_WINDOWEVENT_SIZE_CHANGED: {
        bool landscape = event.window.data1 > event.window.data2;
        if (landscape != isLandscape(m_application.statusBarOrientation()))
            rotate(landscape);
        m_inputSinceDraw = true;
        if (Window* window = keyWindow())
            window->setWindowNeedsDisplay();
        break;
    }
    case SDL_WINDOWEVENT_EXPOSED:
        m_inputSinceDraw = true;
        if (Window* window = keyWindow())
            window->setWindowNeedsDisplay();
        break;
    default:
        break;
    }
}

void SdlHost::handleKey(const SDL_Event& event)
{
    SDL_Keycode key = event.key.keysym.sym;
    Uint16 mods = event.key.keysym.mod;
    bool hasField = m_application.firstResponder() != nullptr;
    if (m_locationMenu && handleMenuKey(key)) {
        m_inputSinceDraw = true;
        return;
    }
    if ((mods & KMOD_CTRL) && (key == SDLK_LEFT || key == SDLK_RIGHT)) {
        rotate(true);
        return;
    }
    if ((mods & KMOD_CTRL) && (key == SDLK_UP || key == SDLK_DOWN)) {
        rotate(false);
        return;
    }
    switch (key) {
    case SDLK_BACKSPACE:
        if (hasField)
            m_application.sendBackspace();
        break;
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
        if (hasField)
            m_application.sendReturn();
        break;
    case SDLK_TAB:
        focusNextField(mods & KMOD_SHIFT);
        break;
    default:
        return;
    }
    m_inputSinceDraw = true;
}

bool SdlHost::handleMenuKey(int key)
{
    using Key = LocationMenu::Key;
    if (key == SDLK_F2)
        return m_locationMenu->handleKey(Key::Toggle, keyWindow());
    if (key >= SDLK_1 && key <= SDLK_9)
        return m_locationMenu->handleKey(Key::Digit, keyWindow(), key - SDLK_0);
    if (key >= SDLK_KP_1 && key <= SDLK_KP_9)
        return m_locationMenu->handleKey(Key::Digit, keyWindow(), key - SDLK_KP_1 + 1);
    switch (key) {
    case SDLK_UP:
        return m_locationMenu->handleKey(Key::Up, keyWindow());
    case SDLK_DOWN:
        return m_locationMenu->handleKey(Key::Down, keyWindow());
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
        return m_locationMenu->handleKey(Key::Pick, keyWindow());
    case SDLK_ESCAPE:
        return m_locationMenu->handleKey(Key::Close, keyWindow());
    default:
        return m_locationMenu->isOpen();
    }
}

void SdlHost::handleWheel(const SDL_Event& event)
{
    if (!(SDL_GetModState() & KMOD_CTRL))
        return;
    double steps = event.wheel.preciseY != 0 ? event.wheel.preciseY : event.wheel.y;
    if (event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED)
        steps = -steps;
    if (steps != 0)
        pinchBy(std::pow(1.1, steps), m_impl->pointer);
}

void SdlHost::pinchBy(double factor, Point center)
{
    if (!m_pinch.active) {
        if (m_mouseDown)
            return;
        m_pinch = { true, center, pinchStartSpread, now() };
        sendPinchTouches(static_cast<int>(TouchPhase::Began));
    }
    m_pinch.spread = std::clamp(m_pinch.spread * factor, 5.0, 1000.0);
    m_pinch.lastChange = now();
    sendPinchTouches(static_cast<int>(TouchPhase::Moved));
}

void SdlHost::endPinch()
{
    sendPinchTouches(static_cast<int>(TouchPhase::Ended));
    m_pinch.active = false;
}

void SdlHost::sendPinchTouches(int phase)
{
    TouchEvent event;
    event.timestamp = clock().monotonicSeconds();
    Point c = m_pinch.center;
    event.touches = { { pinchFingers[0], { c.x - m_pinch.spread, c.y }, static_cast<TouchPhase>(phase) },
        { pinchFingers[1], { c.x + m_pinch.spread, c.y }, static_cast<TouchPhase>(phase) } };
    m_application.sendEvent(event);
    m_inputSinceDraw = true;
}

void SdlHost::sendTouch(int id, Point at, int phase)
{
    TouchEvent event;
    event.timestamp = clock().monotonicSeconds();
    event.touches = { { id, at, static_cast<TouchPhase>(phase) } };
    m_application.sendEvent(event);
    m_inputSinceDraw = true;
}

void SdlHost::focusNextField(bool backwards)
{
    auto chain = ScreenQuery(m_application).keyViewChain();
    if (chain.empty())
        return;
    Responder* current = m_application.firstResponder();
    auto it = std::find_if(chain.begin(), chain.end(), [&](View* v) { return v == current; });
    std::size_t n = chain.size();
    std::size_t next = 0;
    if (it != chain.end()) {
        auto index = static_cast<std::size_t>(it - chain.begin());
        next = backwards ? (index + n - 1) % n : (index + 1) % n;
    } else if (backwards) {
        next = n - 1;
    }
    chain[next]->becomeFirstResponder();
}

void SdlHost::rotate(bool landscape)
{
    m_application.rotateTo(landscape ? InterfaceOrientation::LandscapeLeft : InterfaceOrientation::Portrait);
    m_inputSinceDraw = true;
}

bool SdlHost::hasInputFocus() const
{
    return (SDL_GetWindowFlags(m_impl->window) & SDL_WINDOW_INPUT_FOCUS) != 0;
}

void SdlHost::raise()
{
    SDL_RestoreWindow(m_impl->window);
    SDL_RaiseWindow(m_impl->window);
}

bool SdlHost::resizeSurfaces(Size points)
{
    double scale = m_application.screenScale();
    int width = static_cast<int>(std::lround(points.width * scale));
    int height = static_cast<int>(std::lround(points.height * scale));
    auto& impl = *m_impl;
    if (impl.texture && width == impl.textureWidth && height == impl.textureHeight)
        return true;
    if (impl.texture)
        SDL_DestroyTexture(impl.texture);
    impl.texture
        = SDL_CreateTexture(impl.renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, width, height);
    if (!impl.texture) {
        hestio::log(std::string("cannot draw the window: ") + SDL_GetError());
        m_quit = true;
        return false;
    }
    impl.textureWidth = width;
    impl.textureHeight = height;
    SDL_RenderSetLogicalSize(impl.renderer, static_cast<int>(points.width), static_cast<int>(points.height));
    int windowWidth = 0, windowHeight = 0;
    SDL_GetWindowSize(impl.window, &windowWidth, &windowHeight);
    // A turned device turns the window with it.
    if ((windowWidth > windowHeight) != (width > height))
        SDL_SetWindowSize(impl.window, width, height);
    return true;
}

void SdlHost::drawIfNeeded()
{
    auto& impl = *m_impl;
    Window* window = keyWindow();
    if (SDL_GetWindowFlags(impl.window) & SDL_WINDOW_MINIMIZED) {
        m_animatingAfterDraw = false;
        return;
    }
    double clockNow = clock().monotonicSeconds();
    bool animating = m_application.animator().hasRunningAnimations();
    bool marked = std::any_of(m_application.windows().begin(), m_application.windows().end(),
        [](Window* w) { return w->windowNeedsDisplay(); });
    long minute = static_cast<long>(std::floor(clock().now().timeIntervalSince1970() / 60));
    bool minuteTurned = minute != m_lastDrawMinute;
    // On a manual clock animations stand still between steps: drawing them
    // again would only repeat the same picture.
    bool animationMoved = animating && clockNow != m_lastDrawClock;
    if (m_drewOnce && !marked && !animationMoved && !m_inputSinceDraw && !minuteTurned)
        return;
    // Animations on the real clock are drawn at most 60 times a second.
    bool paced = !m_loop.clock().isManual() && now() - m_lastDrawReal < frameSeconds * 0.9;
    if (m_drewOnce && animationMoved && !marked && !m_inputSinceDraw && paced)
        return;

    if (window) {
        if (!resizeSurfaces(window->frame().size))
            return;
        auto image = window->snapshot(m_application.screenScale());
        cairo_surface_t* surface = image->impl().surface.get();
        cairo_surface_flush(surface);
        if (cairo_image_surface_get_width(surface) == impl.textureWidth
            && cairo_image_surface_get_height(surface) == impl.textureHeight)
            SDL_UpdateTexture(
                impl.texture, nullptr, cairo_image_surface_get_data(surface), cairo_image_surface_get_stride(surface));
    }
    SDL_SetRenderDrawColor(impl.renderer, 0, 0, 0, 255);
    SDL_RenderClear(impl.renderer);
    if (window && impl.texture)
        SDL_RenderCopy(impl.renderer, impl.texture, nullptr, nullptr);
    SDL_RenderPresent(impl.renderer);

    m_lastDrawClock = clockNow;
    m_lastDrawReal = now();
    m_lastDrawMinute = minute;
    m_inputSinceDraw = false;
    m_animatingAfterDraw = m_application.animator().hasRunningAnimations() && !m_loop.clock().isManual();
    if (!m_drewOnce && m_options.readyFile)
        std::ofstream(*m_options.readyFile) << "drawn\n";
    m_drewOnce = true;
    ++m_framesDrawn;
}

}

#if defined(__SANITIZE_ADDRESS__)
// Under LeakSanitizer: the libraries SDL opens for the display (the X11
// client, the GL driver, D-Bus) keep a little memory for the life of the
// process, and SDL unloads them when it quits. Unloaded, their allocations
// are reported from "unknown modules" that no suppression can name. Keeping
// every library loaded lets .ci/lsan.supp name them; unloading saves nothing
// at exit anyway.
extern "C" int dlclose(void*)
{
    return 0;
}
#endif
