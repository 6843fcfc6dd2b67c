#pragma once
// Frames for a window on a Wayland compositor, and the wait on its connection.
//
// SDL 2.26 has no software window surface on Wayland: without a GPU renderer it shows nothing.
// The game's frame is already a finished xRGB picture, so it goes to the compositor the way
// Wayland's own software clients send theirs: drawn straight into shared memory (wl_shm) and
// attached to the surface SDL made. No GL driver is loaded for a still picture.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kromi/draw/frame.h"

struct wl_display;
struct wl_surface;
struct wl_event_queue;
struct wl_registry;
struct wl_shm;
struct wl_buffer;

namespace kromi {

class WaylandFrames {
 public:
  // Finds the compositor's shared-memory service on display for surface; nullptr and a reason
  // when there is none. The objects it makes live on a queue of their own, so SDL's dispatch never
  // sees them.
  static std::unique_ptr<WaylandFrames> Open(wl_display* display, wl_surface* surface, std::string& error);
  ~WaylandFrames();
  WaylandFrames(const WaylandFrames&) = delete;
  WaylandFrames& operator=(const WaylandFrames&) = delete;

  // Pixels to draw the next frame into, width x height device pixels; nothing while every buffer
  // is still on screen (the compositor releases one soon, and that wakes Wait), or with a reason
  // in error when no memory can be had.
  std::optional<PixelView> Begin(int width, int height, std::string& error);
  // Puts the frame Begin gave on screen at scale device pixels per surface unit.
  void Commit(int scale);

  // Waits for the compositor to say something, for another fd (an ending signal) or for
  // timeoutMs (negative: no limit). Returns true when SDL has something new to read; false on a
  // time-out, on the other fd, or when the connection is lost (then Lost() says why).
  bool Wait(int otherFd, int timeoutMs);
  // Non-empty once the connection to the compositor has failed.
  std::string Lost() const;

 private:
  struct Buffer {
    wl_buffer* buffer = nullptr;
    std::uint32_t* pixels = nullptr;
    bool busy = false;  // attached, and not yet released by the compositor
  };
  WaylandFrames(wl_display* display, wl_surface* surface);
  bool Allocate(int width, int height, std::string& error);
  void Free();
  void DispatchOwn();

  wl_display* display_;
  wl_surface* surface_;
  wl_event_queue* queue_ = nullptr;
  wl_registry* registry_ = nullptr;
  wl_shm* shm_ = nullptr;
  void* memory_ = nullptr;
  std::size_t bytes_ = 0;
  int width_ = 0, height_ = 0;
  std::vector<Buffer> buffers_;
  Buffer* drawing_ = nullptr;
  bool starved_ = false;  // the last Begin found every buffer on screen
};

}  // namespace kromi
