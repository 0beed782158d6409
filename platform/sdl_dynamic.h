// SDL2 loaded when first needed instead of linked: SDL brings some fifty
// libraries (X11, Wayland, PulseAudio, ...) whose loading costs every
// process several milliseconds and megabytes, though only a window or a
// sound device needs them. Files that call SDL include this header after
// SDL's own; every SDL function they use then goes through the table
// filled from the library on first use.
//
// Call sdl_loaded() before the first SDL call of a path (the bring-up of
// the video or audio subsystem); every other call follows a successful
// bring-up.
#pragma once

#include <SDL2/SDL.h>

struct SDL_SysWMinfo;

// Every SDL function the engines call.
#define RAZAVORI_SDL_FUNCTIONS(X) \
  X(SDL_InitSubSystem)            \
  X(SDL_free)                     \
  X(SDL_PollEvent)                \
  X(SDL_OpenAudioDevice)          \
  X(SDL_CloseAudioDevice)         \
  X(SDL_PauseAudioDevice)         \
  X(SDL_GetNumAudioDevices)       \
  X(SDL_GetAudioDeviceSpec)       \
  X(SDL_CreateWindow)             \
  X(SDL_DestroyWindow)            \
  X(SDL_ShowWindow)               \
  X(SDL_HideWindow)               \
  X(SDL_GetWindowSize)            \
  X(SDL_SetWindowSize)            \
  X(SDL_SetWindowTitle)           \
  X(SDL_SetWindowFullscreen)      \
  X(SDL_SetWindowAlwaysOnTop)     \
  X(SDL_GetWindowID)              \
  X(SDL_GetWindowFlags)           \
  X(SDL_GetWindowDisplayIndex)    \
  X(SDL_GetDisplayBounds)         \
  X(SDL_EnableScreenSaver)        \
  X(SDL_DisableScreenSaver)       \
  X(SDL_CreateRenderer)           \
  X(SDL_GetRendererInfo)          \
  X(SDL_GetRendererOutputSize)    \
  X(SDL_SetRenderDrawColor)       \
  X(SDL_RenderClear)              \
  X(SDL_RenderCopy)               \
  X(SDL_RenderFillRect)           \
  X(SDL_RenderDrawPoints)         \
  X(SDL_RenderPresent)            \
  X(SDL_RenderReadPixels)         \
  X(SDL_CreateTexture)            \
  X(SDL_DestroyTexture)           \
  X(SDL_LockTexture)              \
  X(SDL_UnlockTexture)            \
  X(SDL_UpdateYUVTexture)

namespace platform {

struct SdlApi {
#define RAZAVORI_SDL_MEMBER(name) decltype(&::name) name;
  RAZAVORI_SDL_FUNCTIONS(RAZAVORI_SDL_MEMBER)
#undef RAZAVORI_SDL_MEMBER
  // Newer than the oldest SDL 2 we build with: null when the library lacks it.
  int(SDLCALL *SDL_GetDefaultAudioInfo)(char **name, SDL_AudioSpec *spec, int iscapture);
  SDL_bool(SDLCALL *SDL_GetWindowWMInfo)(SDL_Window *window, SDL_SysWMinfo *info);
};

/// Loads SDL 2 once (any thread). true when it and every function above
/// were found.
bool sdl_loaded();
/// The table; its entries are valid only after sdl_loaded() returned true.
const SdlApi &sdl();

}  // namespace platform

#ifndef RAZAVORI_SDL_LOADER
#define SDL_InitSubSystem platform::sdl().SDL_InitSubSystem
#define SDL_free platform::sdl().SDL_free
#define SDL_PollEvent platform::sdl().SDL_PollEvent
#define SDL_OpenAudioDevice platform::sdl().SDL_OpenAudioDevice
#define SDL_CloseAudioDevice platform::sdl().SDL_CloseAudioDevice
#define SDL_PauseAudioDevice platform::sdl().SDL_PauseAudioDevice
#define SDL_GetNumAudioDevices platform::sdl().SDL_GetNumAudioDevices
#define SDL_GetAudioDeviceSpec platform::sdl().SDL_GetAudioDeviceSpec
#define SDL_CreateWindow platform::sdl().SDL_CreateWindow
#define SDL_DestroyWindow platform::sdl().SDL_DestroyWindow
#define SDL_ShowWindow platform::sdl().SDL_ShowWindow
#define SDL_HideWindow platform::sdl().SDL_HideWindow
#define SDL_GetWindowSize platform::sdl().SDL_GetWindowSize
#define SDL_SetWindowSize platform::sdl().SDL_SetWindowSize
#define SDL_SetWindowTitle platform::sdl().SDL_SetWindowTitle
#define SDL_SetWindowFullscreen platform::sdl().SDL_SetWindowFullscreen
#define SDL_SetWindowAlwaysOnTop platform::sdl().SDL_SetWindowAlwaysOnTop
#define SDL_GetWindowID platform::sdl().SDL_GetWindowID
#define SDL_GetWindowFlags platform::sdl().SDL_GetWindowFlags
#define SDL_GetWindowDisplayIndex platform::sdl().SDL_GetWindowDisplayIndex
#define SDL_GetDisplayBounds platform::sdl().SDL_GetDisplayBounds
#define SDL_EnableScreenSaver platform::sdl().SDL_EnableScreenSaver
#define SDL_DisableScreenSaver platform::sdl().SDL_DisableScreenSaver
#define SDL_CreateRenderer platform::sdl().SDL_CreateRenderer
#define SDL_GetRendererInfo platform::sdl().SDL_GetRendererInfo
#define SDL_GetRendererOutputSize platform::sdl().SDL_GetRendererOutputSize
#define SDL_SetRenderDrawColor platform::sdl().SDL_SetRenderDrawColor
#define SDL_RenderClear platform::sdl().SDL_RenderClear
#define SDL_RenderCopy platform::sdl().SDL_RenderCopy
#define SDL_RenderFillRect platform::sdl().SDL_RenderFillRect
#define SDL_RenderDrawPoints platform::sdl().SDL_RenderDrawPoints
#define SDL_RenderPresent platform::sdl().SDL_RenderPresent
#define SDL_RenderReadPixels platform::sdl().SDL_RenderReadPixels
#define SDL_CreateTexture platform::sdl().SDL_CreateTexture
#define SDL_DestroyTexture platform::sdl().SDL_DestroyTexture
#define SDL_LockTexture platform::sdl().SDL_LockTexture
#define SDL_UnlockTexture platform::sdl().SDL_UnlockTexture
#define SDL_UpdateYUVTexture platform::sdl().SDL_UpdateYUVTexture
#define SDL_GetWindowWMInfo platform::sdl().SDL_GetWindowWMInfo
#endif
