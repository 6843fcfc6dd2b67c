#include "kromi/sdl/wayland.h"

#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include <wayland-client.h>

namespace kromi {

namespace {

void OnGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t) {
  auto** shm = static_cast<wl_shm**>(data);
  if (*shm == nullptr && std::strcmp(interface, wl_shm_interface.name) == 0) {
    *shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
  }
}
void OnGlobalRemove(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener kRegistryListener{OnGlobal, OnGlobalRemove};

// The compositor has stopped reading the buffer: it may be drawn into again.
void OnRelease(void* data, wl_buffer*) { *static_cast<bool*>(data) = false; }
const wl_buffer_listener kBufferListener{OnRelease};

constexpr int kBuffers = 2;

}  // namespace

WaylandFrames::WaylandFrames(wl_display* display, wl_surface* surface) : display_(display), surface_(surface) {}

std::unique_ptr<WaylandFrames> WaylandFrames::Open(wl_display* display, wl_surface* surface, std::string& error) {
  std::unique_ptr<WaylandFrames> f(new WaylandFrames(display, surface));
  f->queue_ = wl_display_create_queue(display);
  auto* wrapped = f->queue_ ? static_cast<wl_display*>(wl_proxy_create_wrapper(display)) : nullptr;
  if (wrapped == nullptr) {
    error = "cannot talk to the Wayland compositor";
    return nullptr;
  }
  wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapped), f->queue_);
  f->registry_ = wl_display_get_registry(wrapped);
  wl_proxy_wrapper_destroy(wrapped);
  if (f->registry_ == nullptr || wl_registry_add_listener(f->registry_, &kRegistryListener, &f->shm_) != 0 ||
      wl_display_roundtrip_queue(display, f->queue_) < 0) {
    error = "cannot talk to the Wayland compositor";
    return nullptr;
  }
  if (f->shm_ == nullptr) {
    error = "the Wayland compositor offers no shared memory for window contents (wl_shm)";
    return nullptr;
  }
  return f;
}

WaylandFrames::~WaylandFrames() {
  Free();
  if (shm_) wl_shm_destroy(shm_);
  if (registry_) wl_registry_destroy(registry_);
  if (queue_) wl_event_queue_destroy(queue_);
}

void WaylandFrames::Free() {
  for (Buffer& b : buffers_) {
    if (b.buffer) wl_buffer_destroy(b.buffer);
  }
  buffers_.clear();
  if (memory_) munmap(memory_, bytes_);
  memory_ = nullptr;
  bytes_ = 0;
  drawing_ = nullptr;
}

bool WaylandFrames::Allocate(int width, int height, std::string& error) {
  Free();
  const std::size_t one = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
  const std::size_t all = one * kBuffers;
  const int fd = memfd_create("kromi-frame", MFD_CLOEXEC);
  if (fd < 0 || all > INT32_MAX || ftruncate(fd, static_cast<off_t>(all)) != 0) {
    error = std::string("no shared memory for the window: ") + std::strerror(errno);
    if (fd >= 0) close(fd);
    return false;
  }
  void* memory = mmap(nullptr, all, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (memory == MAP_FAILED) {
    error = std::string("no shared memory for the window: ") + std::strerror(errno);
    close(fd);
    return false;
  }
  memory_ = memory;
  bytes_ = all;
  wl_shm_pool* pool = wl_shm_create_pool(shm_, fd, static_cast<std::int32_t>(all));
  close(fd);  // the compositor has its own copy of the descriptor once the request is sent
  buffers_.resize(kBuffers);
  for (int i = 0; i < kBuffers; ++i) {
    Buffer& b = buffers_[static_cast<std::size_t>(i)];
    b.buffer = wl_shm_pool_create_buffer(pool, static_cast<std::int32_t>(one) * i, width, height, width * 4,
                                         WL_SHM_FORMAT_XRGB8888);
    b.pixels = reinterpret_cast<std::uint32_t*>(static_cast<char*>(memory) + one * static_cast<std::size_t>(i));
    if (b.buffer) wl_buffer_add_listener(b.buffer, &kBufferListener, &b.busy);
  }
  wl_shm_pool_destroy(pool);
  width_ = width;
  height_ = height;
  return true;
}

void WaylandFrames::DispatchOwn() { wl_display_dispatch_queue_pending(display_, queue_); }

std::optional<PixelView> WaylandFrames::Begin(int width, int height, std::string& error) {
  if (width != width_ || height != height_ || buffers_.empty()) {
    // A new size: the old buffers may still be on screen, which is no reason to keep them; the
    // compositor keeps what it shows until the next commit.
    if (!Allocate(width, height, error)) return std::nullopt;
  }
  DispatchOwn();
  drawing_ = nullptr;
  for (Buffer& b : buffers_) {
    if (!b.busy && b.buffer) {
      drawing_ = &b;
      break;
    }
  }
  starved_ = drawing_ == nullptr;
  if (starved_) return std::nullopt;
  return PixelView(drawing_->pixels, width_, height_, width_);
}

void WaylandFrames::Commit(int scale) {
  if (drawing_ == nullptr) return;
  // Set with every frame: SDL sets the scale it expects, and the buffer must match the one sent.
  wl_surface_set_buffer_scale(surface_, scale);
  wl_surface_attach(surface_, drawing_->buffer, 0, 0);
  wl_surface_damage(surface_, 0, 0, INT32_MAX, INT32_MAX);
  wl_surface_commit(surface_);
  drawing_->busy = true;
  drawing_ = nullptr;
  wl_display_flush(display_);
}

bool WaylandFrames::Wait(int otherFd, int timeoutMs) {
  // SDL may have read a release of ours off the socket while reading its own events; a frame
  // that found no buffer free can be drawn now.
  DispatchOwn();
  if (starved_) {
    for (const Buffer& b : buffers_) {
      if (!b.busy) return true;
    }
  }
  // Events already read off the socket and queued for SDL go to SDL at once.
  if (wl_display_prepare_read(display_) != 0) return true;
  short want = POLLIN;
  if (wl_display_flush(display_) < 0 && errno == EAGAIN) want |= POLLOUT;
  pollfd fds[2] = {{wl_display_get_fd(display_), want, 0}, {otherFd, POLLIN, 0}};
  const int ready = poll(fds, otherFd >= 0 ? 2 : 1, timeoutMs);
  if (ready > 0 && (fds[0].revents & (POLLIN | POLLERR | POLLHUP)) != 0) {
    if (wl_display_read_events(display_) != 0) return false;
    DispatchOwn();
    return true;
  }
  wl_display_cancel_read(display_);
  return false;
}

std::string WaylandFrames::Lost() const {
  const int e = wl_display_get_error(display_);
  if (e == 0) return {};
  if (e == EPROTO) return "the Wayland compositor refused a request";
  return std::string("lost the Wayland compositor: ") + std::strerror(e);
}

}  // namespace kromi
