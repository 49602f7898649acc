#pragma once

// The window library is opened when a window is first asked for, not when
// the program starts: a headless run (tests, scripts, benchmarks) then never
// loads it nor the thirty-odd display and sound libraries it brings, which
// took a third of the dynamic loader's work at every start. Include this
// after <SDL.h>; each SDL call below goes through a pointer looked up once.

#include "platform/foundation/LazyLibrary.h"

namespace hestio::platform::sdl {

/// The SDL 2 library.
[[nodiscard]] LazyLibrary& library();

}

#define HESTIO_SDL_LAZY(name) HESTIO_LAZY_FUNCTION(::hestio::platform::sdl::library(), name)

#define SDL_CreateRenderer(...) HESTIO_SDL_LAZY(SDL_CreateRenderer)(__VA_ARGS__)
#define SDL_CreateTexture(...) HESTIO_SDL_LAZY(SDL_CreateTexture)(__VA_ARGS__)
#define SDL_CreateWindow(...) HESTIO_SDL_LAZY(SDL_CreateWindow)(__VA_ARGS__)
#define SDL_DestroyRenderer(...) HESTIO_SDL_LAZY(SDL_DestroyRenderer)(__VA_ARGS__)
#define SDL_DestroyTexture(...) HESTIO_SDL_LAZY(SDL_DestroyTexture)(__VA_ARGS__)
#define SDL_DestroyWindow(...) HESTIO_SDL_LAZY(SDL_DestroyWindow)(__VA_ARGS__)
#define SDL_GetDisplayBounds(...) HESTIO_SDL_LAZY(SDL_GetDisplayBounds)(__VA_ARGS__)
#define SDL_GetDisplayUsableBounds(...) HESTIO_SDL_LAZY(SDL_GetDisplayUsableBounds)(__VA_ARGS__)
#define SDL_GetError(...) HESTIO_SDL_LAZY(SDL_GetError)(__VA_ARGS__)
#define SDL_GetModState(...) HESTIO_SDL_LAZY(SDL_GetModState)(__VA_ARGS__)
#define SDL_GetRendererOutputSize(...) HESTIO_SDL_LAZY(SDL_GetRendererOutputSize)(__VA_ARGS__)
#define SDL_GetTicks64(...) HESTIO_SDL_LAZY(SDL_GetTicks64)(__VA_ARGS__)
#define SDL_GetWindowFlags(...) HESTIO_SDL_LAZY(SDL_GetWindowFlags)(__VA_ARGS__)
#define SDL_GetWindowPosition(...) HESTIO_SDL_LAZY(SDL_GetWindowPosition)(__VA_ARGS__)
#define SDL_GetWindowSize(...) HESTIO_SDL_LAZY(SDL_GetWindowSize)(__VA_ARGS__)
#define SDL_InitSubSystem(...) HESTIO_SDL_LAZY(SDL_InitSubSystem)(__VA_ARGS__)
#define SDL_LockTexture(...) HESTIO_SDL_LAZY(SDL_LockTexture)(__VA_ARGS__)
#define SDL_PollEvent(...) HESTIO_SDL_LAZY(SDL_PollEvent)(__VA_ARGS__)
#define SDL_PushEvent(...) HESTIO_SDL_LAZY(SDL_PushEvent)(__VA_ARGS__)
#define SDL_QuitSubSystem(...) HESTIO_SDL_LAZY(SDL_QuitSubSystem)(__VA_ARGS__)
#define SDL_RaiseWindow(...) HESTIO_SDL_LAZY(SDL_RaiseWindow)(__VA_ARGS__)
#define SDL_RegisterEvents(...) HESTIO_SDL_LAZY(SDL_RegisterEvents)(__VA_ARGS__)
#define SDL_RenderClear(...) HESTIO_SDL_LAZY(SDL_RenderClear)(__VA_ARGS__)
#define SDL_RenderCopy(...) HESTIO_SDL_LAZY(SDL_RenderCopy)(__VA_ARGS__)
#define SDL_RenderPresent(...) HESTIO_SDL_LAZY(SDL_RenderPresent)(__VA_ARGS__)
#define SDL_RenderReadPixels(...) HESTIO_SDL_LAZY(SDL_RenderReadPixels)(__VA_ARGS__)
#define SDL_RestoreWindow(...) HESTIO_SDL_LAZY(SDL_RestoreWindow)(__VA_ARGS__)
#define SDL_SetHint(...) HESTIO_SDL_LAZY(SDL_SetHint)(__VA_ARGS__)
#define SDL_SetRenderDrawColor(...) HESTIO_SDL_LAZY(SDL_SetRenderDrawColor)(__VA_ARGS__)
#define SDL_SetWindowMinimumSize(...) HESTIO_SDL_LAZY(SDL_SetWindowMinimumSize)(__VA_ARGS__)
#define SDL_SetWindowSize(...) HESTIO_SDL_LAZY(SDL_SetWindowSize)(__VA_ARGS__)
#define SDL_StartTextInput(...) HESTIO_SDL_LAZY(SDL_StartTextInput)(__VA_ARGS__)
#define SDL_StopTextInput(...) HESTIO_SDL_LAZY(SDL_StopTextInput)(__VA_ARGS__)
#define SDL_UnlockTexture(...) HESTIO_SDL_LAZY(SDL_UnlockTexture)(__VA_ARGS__)
#define SDL_UpdateTexture(...) HESTIO_SDL_LAZY(SDL_UpdateTexture)(__VA_ARGS__)
#define SDL_WaitEvent(...) HESTIO_SDL_LAZY(SDL_WaitEvent)(__VA_ARGS__)
#define SDL_WaitEventTimeout(...) HESTIO_SDL_LAZY(SDL_WaitEventTimeout)(__VA_ARGS__)
