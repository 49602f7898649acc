#include "platform/host/SdlHost.h"

#include "platform/foundation/Clock.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/ImageImpl.h"
#include "platform/host/FingerTouches.h"
#include "platform/host/LocationMenu.h"
#include "platform/host/ScreenFit.h"
#include "platform/host/ScreenQuery.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"

#include <SDL.h>
// After <SDL.h>: its calls go through the library opened on first use.
#include "platform/host/SdlLibrary.h"
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <utility>

namespace hestio::platform {

namespace {

    constexpr double frameSeconds = 1.0 / 60;
    /// A Ctrl+wheel pinch ends when Ctrl is let go or the wheel has been
    /// still this long.
    constexpr double pinchIdleSeconds = 0.3;
    constexpr double pinchStartSpread = 50;
    constexpr int mouseFinger = 1;
    constexpr int pinchFingers[2] = { 101, 102 };
    /// A window is never made smaller than this (desktop units).
    constexpr int smallestWindowWidth = 160;
    constexpr int smallestWindowHeight = 240;

    /// The desktop's free area (without panels and docks) on the display the
    /// window will open on; the whole display when that cannot be told.
    Rect usableArea()
    {
        SDL_Rect area {};
        if (SDL_GetDisplayUsableBounds(0, &area) != 0 || area.w <= 0 || area.h <= 0)
            if (SDL_GetDisplayBounds(0, &area) != 0 || area.w <= 0 || area.h <= 0)
                area = { 0, 0, 1024, 768 };
        return { static_cast<double>(area.x), static_cast<double>(area.y), static_cast<double>(area.w),
            static_cast<double>(area.h) };
    }

    std::optional<Size> rememberedSize(const std::optional<std::string>& file)
    {
        if (!file)
            return std::nullopt;
        UserDefaults saved { std::filesystem::path(*file) };
        auto width = saved.integerForKey("width"), height = saved.integerForKey("height");
        if (width <= 0 || height <= 0 || width > 100000 || height > 100000)
            return std::nullopt;
        return Size { static_cast<double>(width), static_cast<double>(height) };
    }

}

struct SdlHost::Impl {
    SDL_Window* window { nullptr };
    SDL_Renderer* renderer { nullptr };
    SDL_Texture* texture { nullptr };
    int textureWidth { 0 };
    int textureHeight { 0 };
    Uint32 wakeEventType { 0 };
    Point pointer;
    FingerTouches fingers;

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

Result<std::unique_ptr<SdlHost>> SdlHost::open(Application& application, RunLoop& loop, Options options)
{
    if (auto missing = sdl::library().open())
        return Error("cannot open a window: " + *missing);
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
        return Error(std::string("cannot open a window: ") + SDL_GetError());
    std::unique_ptr<SdlHost> host(new SdlHost(application, loop, std::move(options)));
    auto& impl = *host->m_impl;
    // Scaled pictures are smoothed; at whole scales they are drawn for the
    // window's own pixels and copied 1:1.
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "1");
    // A touchscreen's fingers are handled as fingers, not as a mouse too.
    SDL_SetHint(SDL_HINT_TOUCH_MOUSE_EVENTS, "0");
    Size points = application.screenSize();
    Rect usable = usableArea();
    Size size;
    const auto& chosen = host->m_options;
    auto remembered = rememberedSize(chosen.sizeFile);
    if (chosen.scale) {
        size = { points.width * *chosen.scale, points.height * *chosen.scale };
    } else if (remembered && ScreenFit::fits(*remembered, points, usable.size)) {
        size = *remembered;
    } else {
        double scale = ScreenFit::fitScale(points, usable.size);
        size = { points.width * scale, points.height * scale };
    }
    int width = std::max(1, static_cast<int>(std::lround(size.width)));
    int height = std::max(1, static_cast<int>(std::lround(size.height)));
    host->m_openingSize = { static_cast<double>(width), static_cast<double>(height) };
    host->m_openingScale = ScreenFit(points, host->m_openingSize).scale();
    Point at = ScreenFit::placement({ static_cast<double>(width), static_cast<double>(height) }, usable);
    impl.window = SDL_CreateWindow("Hestio", static_cast<int>(at.x), static_cast<int>(at.y), width, height,
        SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
    if (!impl.window)
        return Error(std::string("cannot open a window: ") + SDL_GetError());
    SDL_SetWindowMinimumSize(impl.window, std::min(width, smallestWindowWidth), std::min(height, smallestWindowHeight));
    impl.renderer = SDL_CreateRenderer(impl.window, -1, 0);
    if (!impl.renderer)
        impl.renderer = SDL_CreateRenderer(impl.window, -1, SDL_RENDERER_SOFTWARE);
    if (!impl.renderer)
        return Error(std::string("cannot draw in the window: ") + SDL_GetError());
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
    if (m_sizeToRemember && m_options.sizeFile) {
        std::error_code ignored;
        std::filesystem::create_directories(std::filesystem::path(*m_options.sizeFile).parent_path(), ignored);
        UserDefaults saved { std::filesystem::path(*m_options.sizeFile) };
        saved.setInteger(std::lround(m_sizeToRemember->width), "width");
        saved.setInteger(std::lround(m_sizeToRemember->height), "height");
    }
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
        if (event.button.which == SDL_TOUCH_MOUSEID)
            break;
        m_impl->pointer = pointAt(event.button.x, event.button.y);
        // A press on the bars beside the screen touches nothing.
        if (event.button.button == SDL_BUTTON_LEFT && !m_mouseDown
            && ScreenFit(m_application.screenSize(), windowSize())
                   .isOnScreen({ static_cast<double>(event.button.x), static_cast<double>(event.button.y) })) {
            m_mouseDown = true;
            sendTouch(mouseFinger, m_impl->pointer, static_cast<int>(TouchPhase::Began));
        }
        break;
    case SDL_MOUSEMOTION:
        if (event.motion.which == SDL_TOUCH_MOUSEID)
            break;
        m_impl->pointer = pointAt(event.motion.x, event.motion.y);
        if (m_mouseDown)
            sendTouch(mouseFinger, m_impl->pointer, static_cast<int>(TouchPhase::Moved));
        break;
    case SDL_MOUSEBUTTONUP:
        if (event.button.which == SDL_TOUCH_MOUSEID)
            break;
        m_impl->pointer = pointAt(event.button.x, event.button.y);
        if (event.button.button == SDL_BUTTON_LEFT && m_mouseDown) {
            m_mouseDown = false;
            sendTouch(mouseFinger, m_impl->pointer, static_cast<int>(TouchPhase::Ended));
        }
        break;
    case SDL_FINGERDOWN:
    case SDL_FINGERMOTION:
    case SDL_FINGERUP:
        handleFinger(event);
        break;
    case SDL_MOUSEWHEEL:
        handleWheel(event);
        break;
    case SDL_MULTIGESTURE:
        // Two fingers on a trackpad spreading or closing (a touchscreen's
        // fingers pinch by themselves).
        if (m_impl->fingers.activeCount() == 0 && event.mgesture.numFingers == 2
            && std::abs(event.mgesture.dDist) > 0.001)
            pinchBy(1 + event.mgesture.dDist * 4, m_impl->pointer);
        break;
    case SDL_TEXTINPUT:
        // Keys typed while the Location menu is open are the menu's.
        if (m_locationMenu && m_locationMenu->isOpen())
            break;
        // Ctrl+digit chooses a tab; it types nothing.
        if (SDL_GetModState() & KMOD_CTRL)
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
        for (const TouchInput& cancelled : m_impl->fingers.cancelAll())
            sendTouchInput(cancelled);
        if (m_pinch.active)
            endPinch();
        break;
    case SDL_WINDOWEVENT_SIZE_CHANGED:
        // The screen keeps its aspect inside the new size; only Ctrl+arrows
        // turn the device.
        rememberSize({ static_cast<double>(event.window.data1), static_cast<double>(event.window.data2) });
        m_inputSinceDraw = true;
        if (Window* window = keyWindow())
            window->setWindowNeedsDisplay();
        break;
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
    if (m_locationMenu && handleMenuKey(key)) {
        m_inputSinceDraw = true;
        return;
    }
    if ((mods & KMOD_CTRL) && (key == SDLK_LEFT || key == SDLK_RIGHT)) {
        rotate(InterfaceOrientation::LandscapeLeft);
        return;
    }
    if ((mods & KMOD_CTRL) && (key == SDLK_UP || key == SDLK_DOWN)) {
        rotate(InterfaceOrientation::Portrait);
        return;
    }
    if (key == SDLK_BACKSPACE) {
        if (m_application.firstResponder())
            m_application.sendBackspace();
    } else if (auto press = keyPress(key, mods)) {
        m_application.sendKey(*press);
    } else {
        return;
    }
    m_inputSinceDraw = true;
}

std::optional<KeyPress> SdlHost::keyPress(int key, unsigned mods)
{
    KeyPress press;
    if (mods & KMOD_SHIFT)
        press.modifiers |= KeyModifierShift;
    if (mods & KMOD_CTRL)
        press.modifiers |= KeyModifierControl;
    if (key >= SDLK_0 && key <= SDLK_9 && (mods & KMOD_CTRL)) {
        press.code = KeyCode::Digit;
        press.digit = key - SDLK_0;
        return press;
    }
    static constexpr std::pair<SDL_Keycode, KeyCode> keys[]
        = { { SDLK_TAB, KeyCode::Tab }, { SDLK_RETURN, KeyCode::Return }, { SDLK_KP_ENTER, KeyCode::Return },
              { SDLK_SPACE, KeyCode::Space }, { SDLK_ESCAPE, KeyCode::Escape }, { SDLK_LEFT, KeyCode::Left },
              { SDLK_RIGHT, KeyCode::Right }, { SDLK_UP, KeyCode::Up }, { SDLK_DOWN, KeyCode::Down } };
    auto found = std::find_if(std::begin(keys), std::end(keys), [&](const auto& entry) { return entry.first == key; });
    if (found == std::end(keys))
        return std::nullopt;
    press.code = found->second;
    return press;
}

void SdlHost::handleFinger(const SDL_Event& event)
{
    Size window = windowSize();
    if (auto touch = m_impl->fingers.translate(event, ScreenFit(m_application.screenSize(), window), window))
        sendTouchInput(*touch);
}

Point SdlHost::pointAt(double x, double y) const
{
    return ScreenFit(m_application.screenSize(), windowSize()).pointAt({ x, y });
}

Size SdlHost::windowSize() const
{
    int width = 0, height = 0;
    SDL_GetWindowSize(m_impl->window, &width, &height);
    return { static_cast<double>(width), static_cast<double>(height) };
}

Rect SdlHost::screenViewport() const
{
    return ScreenFit(m_application.screenSize(), windowSize()).viewport();
}

void SdlHost::rememberSize(Size size)
{
    if (!m_options.sizeFile || !(size.width > 0 && size.height > 0))
        return;
    // Kept as the portrait window it would be.
    if (isLandscape(m_application.statusBarOrientation()))
        std::swap(size.width, size.height);
    // The size the window opened at (which the desktop may report as a
    // change) is chosen anew next time, for the display of that time.
    if (size == m_openingSize)
        m_sizeToRemember.reset();
    else
        m_sizeToRemember = size;
}

Point SdlHost::windowPosition() const
{
    int x = 0, y = 0;
    SDL_GetWindowPosition(m_impl->window, &x, &y);
    return { static_cast<double>(x), static_cast<double>(y) };
}

void SdlHost::printGeometry()
{
    int x = 0, y = 0, pixelWidth = 0, pixelHeight = 0;
    SDL_GetWindowPosition(m_impl->window, &x, &y);
    SDL_GetRendererOutputSize(m_impl->renderer, &pixelWidth, &pixelHeight);
    Size size = windowSize();
    Rect usable = usableArea();
    char line[256];
    std::snprintf(line, sizeof line,
        "hestio: window scale %.4g, %dx%d at %d,%d (%dx%d pixels), usable area %dx%d at %d,%d\n", m_openingScale,
        static_cast<int>(size.width), static_cast<int>(size.height), x, y, pixelWidth, pixelHeight,
        static_cast<int>(usable.width()), static_cast<int>(usable.height()), static_cast<int>(usable.x()),
        static_cast<int>(usable.y()));
    std::cout << line << std::flush;
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

void SdlHost::sendTouchInput(const TouchInput& input)
{
    TouchEvent event;
    event.timestamp = clock().monotonicSeconds();
    event.touches = { input };
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

void SdlHost::rotate(InterfaceOrientation orientation)
{
    bool wasLandscape = isLandscape(m_application.statusBarOrientation());
    bool landscape = isLandscape(orientation);
    m_application.rotateTo(orientation);
    // A turned device turns the window with it.
    if (wasLandscape != landscape) {
        Size size = windowSize();
        SDL_SetWindowSize(m_impl->window, static_cast<int>(size.height), static_cast<int>(size.width));
    }
    m_inputSinceDraw = true;
}

void SdlHost::resizeWindow(Size size)
{
    SDL_SetWindowSize(
        m_impl->window, static_cast<int>(std::lround(size.width)), static_cast<int>(std::lround(size.height)));
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
    auto& impl = *m_impl;
    int outputWidth = 0, outputHeight = 0;
    SDL_GetRendererOutputSize(impl.renderer, &outputWidth, &outputHeight);
    Rect viewport
        = ScreenFit(points, { static_cast<double>(outputWidth), static_cast<double>(outputHeight) }).viewport();
    int width = std::max(1, static_cast<int>(viewport.width()));
    int height = std::max(1, static_cast<int>(viewport.height()));
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
    return true;
}

void SdlHost::drawWindowIntoTexture(Window& window, double scale)
{
    auto& impl = *m_impl;
    // The window is drawn straight into the texture's pixels, cleared as a
    // new picture starts: no picture of its own is made each frame beside
    // the texture (2.4 MB at 640 x 960).
    void* pixels = nullptr;
    int pitch = 0;
    if (SDL_LockTexture(impl.texture, nullptr, &pixels, &pitch) == 0) {
        gfx::SurfacePtr surface(cairo_image_surface_create_for_data(
            static_cast<unsigned char*>(pixels), CAIRO_FORMAT_ARGB32, impl.textureWidth, impl.textureHeight, pitch));
        if (cairo_surface_status(surface.get()) == CAIRO_STATUS_SUCCESS) {
            cairo_surface_set_device_scale(surface.get(), scale, scale);
            cairo_t* cr = cairo_create(surface.get());
            cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
            cairo_paint(cr);
            cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
            {
                auto context = Context::wrapping(cr, scale);
                window.drawWindow(*context);
            }
            cairo_destroy(cr);
            cairo_surface_flush(surface.get());
            surface.reset();
            SDL_UnlockTexture(impl.texture);
            return;
        }
        surface.reset();
        SDL_UnlockTexture(impl.texture);
    }
    // A texture that cannot be written in place (or pixels the drawing
    // cannot use) takes a copy of a picture drawn apart.
    auto image = window.snapshot(scale);
    cairo_surface_t* drawn = image->impl().surface.get();
    cairo_surface_flush(drawn);
    if (cairo_image_surface_get_width(drawn) == impl.textureWidth
        && cairo_image_surface_get_height(drawn) == impl.textureHeight)
        SDL_UpdateTexture(
            impl.texture, nullptr, cairo_image_surface_get_data(drawn), cairo_image_surface_get_stride(drawn));
}

std::shared_ptr<Image> SdlHost::windowPixels() const
{
    auto& impl = *m_impl;
    int outputWidth = 0, outputHeight = 0;
    SDL_GetRendererOutputSize(impl.renderer, &outputWidth, &outputHeight);
    auto image = Image::create({ static_cast<double>(outputWidth), static_cast<double>(outputHeight) }, 1);
    cairo_surface_t* surface = image->impl().surface.get();
    cairo_surface_flush(surface);
    if (SDL_RenderReadPixels(impl.renderer, nullptr, SDL_PIXELFORMAT_ARGB8888, cairo_image_surface_get_data(surface),
            cairo_image_surface_get_stride(surface))
        != 0)
        return nullptr;
    cairo_surface_mark_dirty(surface);
    return image;
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

    SDL_Rect target {};
    if (window) {
        Size points = window->frame().size;
        if (!resizeSurfaces(points))
            return;
        // Drawn for the window's own pixels, whatever the scale.
        int outputWidth = 0, outputHeight = 0;
        SDL_GetRendererOutputSize(impl.renderer, &outputWidth, &outputHeight);
        Rect viewport
            = ScreenFit(points, { static_cast<double>(outputWidth), static_cast<double>(outputHeight) }).viewport();
        target
            = { static_cast<int>(viewport.x()), static_cast<int>(viewport.y()), impl.textureWidth, impl.textureHeight };
        drawWindowIntoTexture(*window, points.width > 0 ? impl.textureWidth / points.width : 1);
    }
    SDL_SetRenderDrawColor(impl.renderer, 0, 0, 0, 255);
    SDL_RenderClear(impl.renderer);
    if (window && impl.texture)
        SDL_RenderCopy(impl.renderer, impl.texture, nullptr, &target);
    SDL_RenderPresent(impl.renderer);

    m_lastDrawClock = clockNow;
    m_lastDrawReal = now();
    m_lastDrawMinute = minute;
    m_inputSinceDraw = false;
    m_animatingAfterDraw = m_application.animator().hasRunningAnimations() && !m_loop.clock().isManual();
    if (!m_drewOnce && m_options.printGeometry)
        printGeometry();
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
