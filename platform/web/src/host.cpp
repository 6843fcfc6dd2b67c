#include "kromi/web/host.h"

#include <emscripten.h>
#include <emscripten/eventloop.h>
#include <emscripten/html5.h>

#include <cmath>
#include <cstring>

#include "kromi/web/cues.h"
#include "kromi/web/rules.h"

namespace kromi {

namespace {

WebHost* host = nullptr;  // the page plays one game

std::int16_t ShiftOf(bool shift, bool ctrl, bool alt) {
  return static_cast<std::int16_t>((shift ? kShiftMask : 0) | (ctrl ? kCtrlMask : 0) | (alt ? kAltMask : 0));
}

// The canvas at its size in CSS pixels, its backing store scale times that. The mouse goes
// through pointer capture: a press on the canvas keeps its events until the last button is up,
// so a release off the canvas arrives (with coordinates outside it) and "Avsluta" dragged off
// still quits. Positions are CSS pixels from the canvas's corner, which are client units.
EM_JS(void, kromi_page_open, (const char* caption, int width, int height), {
  var canvas = document.getElementById('kromi');
  var p = Module.kromiPage = {canvas: canvas, ctx: canvas.getContext('2d', {alpha: false}), listeners: []};
  document.title = UTF8ToString(caption);
  canvas.style.width = width + 'px';
  canvas.style.height = height + 'px';
  function listen(target, type, fn) {
    target.addEventListener(type, fn);
    p.listeners.push([target, type, fn]);
  }
  function at(e) {
    var r = canvas.getBoundingClientRect();
    return [(e.clientX - r.left) * width / (r.width || width), (e.clientY - r.top) * height / (r.height || height)];
  }
  listen(canvas, 'pointerdown', function(e) {
    try { canvas.setPointerCapture(e.pointerId); } catch (err) {}
  });
  // Mouse events rather than pointer events for the buttons: a pointer sends one down for the
  // first button of a chord only, and only mouse events count the clicks of a double click.
  listen(canvas, 'mousedown', function(e) {
    e.preventDefault();
    var xy = at(e);
    _kromi_mouse(0, e.button, xy[0], xy[1], e.detail, e.shiftKey, e.ctrlKey, e.altKey);
  });
  listen(canvas, 'mouseup', function(e) {
    var xy = at(e);
    _kromi_mouse(1, e.button, xy[0], xy[1], 0, e.shiftKey, e.ctrlKey, e.altKey);
  });
  listen(canvas, 'mousemove', function(e) {
    var xy = at(e);
    _kromi_mouse(2, 0, xy[0], xy[1], 0, false, false, false);
  });
  listen(canvas, 'contextmenu', function(e) { e.preventDefault(); });
  listen(canvas, 'auxclick', function(e) { e.preventDefault(); });
  // Browser zoom and a move to another screen change devicePixelRatio; both fire a resize.
  listen(window, 'resize', function() { _kromi_scale(); });
});

EM_JS(double, kromi_pixel_ratio, (), { return window.devicePixelRatio || 1; });

EM_JS(void, kromi_page_present, (const unsigned char* rgba, int width, int height), {
  var p = Module.kromiPage;
  // The backing store follows the frame: a new scale's first frame resizes it.
  if (p.canvas.width !== width || p.canvas.height !== height) {
    p.canvas.width = width;
    p.canvas.height = height;
  }
  var pixels = new Uint8ClampedArray(HEAPU8.buffer, rgba, width * height * 4);
  p.ctx.putImageData(new ImageData(pixels, width, height), 0, 0);
  window.kromiFrames = (window.kromiFrames || 0) + 1;
  if (window.kromiFirstFrame === undefined) {
    window.kromiFirstFrame = performance.now();
    document.documentElement.dataset.kromi = 'running';
    // What can wait (the sound, keeping the site for offline play) starts once the first frame
    // has been painted: the frame before the next one, then a task after it.
    requestAnimationFrame(function() {
      setTimeout(function() {
        _kromi_shown();
        if (Module.onFirstFrame) Module.onFirstFrame();
      }, 0);
    });
  }
});

// A page cannot close its own tab, so the game ends in place: its listeners go, and one line
// says so, with a way to play again.
EM_JS(void, kromi_page_end, (), {
  var p = Module.kromiPage;
  for (var i = 0; i < p.listeners.length; ++i) p.listeners[i][0].removeEventListener(p.listeners[i][1], p.listeners[i][2]);
  p.listeners = [];
  var line = document.createElement('p');
  line.id = 'kromi-ended';
  line.appendChild(document.createTextNode('Kromi has ended. '));
  var again = document.createElement('a');
  again.href = location.pathname + location.search;
  again.textContent = 'Play again';
  line.appendChild(again);
  p.canvas.replaceWith(line);
  document.documentElement.dataset.kromi = 'ended';
});

EM_BOOL OnKey(int type, const EmscriptenKeyboardEvent* e, void*) {
  if (!host) return EM_FALSE;
  const std::int16_t code = KeyCodeOfDomCode(e->code);
  const std::int16_t shift = ShiftOf(e->shiftKey, e->ctrlKey, e->altKey);
  if (code == 0) return EM_FALSE;
  const bool game = GameKey(code);
  // A held key's repeats come as further key-downs, as on the desktop.
  host->Apply(type == EMSCRIPTEN_EVENT_KEYDOWN ? host->runner().KeyDown(code, shift)
                                               : host->runner().KeyUp(code, shift));
  return game ? EM_TRUE : EM_FALSE;
}

EM_BOOL OnBlur(int, const EmscriptenFocusEvent*, void*) {
  if (host) host->Apply(host->runner().FocusLost(0));
  return EM_FALSE;
}

EM_BOOL OnVisibility(int, const EmscriptenVisibilityChangeEvent* e, void*) {
  if (!host) return EM_FALSE;
  if (e->hidden) {
    host->Apply(host->runner().FocusLost(0));
  } else {
    // Shown again: what the canvas shows may have been dropped with the tab.
    host->Apply(host->runner().Exposed());
  }
  return EM_FALSE;
}

void OnTimer(void*) {
  if (host) host->TimerFired();
}

}  // namespace

}  // namespace kromi

extern "C" {

// kind: 0 press, 1 release, 2 move.
EMSCRIPTEN_KEEPALIVE void kromi_mouse(int kind, int domButton, double x, double y, int clicks, bool shift, bool ctrl,
                                       bool alt) {
  using namespace kromi;
  if (!host) return;
  const auto fx = static_cast<float>(x);
  const auto fy = static_cast<float>(y);
  const std::int16_t sh = ShiftOf(shift, ctrl, alt);
  if (kind == 2) {
    host->Apply(host->runner().MouseMove(fx, fy));
    return;
  }
  const std::int16_t button = ButtonOfDomButton(domButton);
  if (button == 0) return;
  // The browser counts on past two (a triple click is 3); the game knows single and double.
  host->Apply(kind == 0 ? host->runner().MouseDown(button, fx, fy, clicks >= 2 ? 2 : 1, sh)
                        : host->runner().MouseUp(button, fx, fy, sh));
}

EMSCRIPTEN_KEEPALIVE void kromi_shown() { kromi::WebCues::Open(); }

EMSCRIPTEN_KEEPALIVE void kromi_scale() {
  if (kromi::host) kromi::host->CheckScale();
}

}  // extern "C"

namespace kromi {

Micros PageClock::Now() const { return static_cast<Micros>(std::llround(emscripten_get_now() * 1000.0)); }

WebHost::WebHost(FormView view) : view_(std::move(view)) {}

void WebHost::Start(FormView view) {
  host = new WebHost(std::move(view));  // lives as long as the page's game
  const int scale = ScaleForPixelRatio(kromi_pixel_ratio());
  kromi_page_open(host->view_.caption.c_str(), host->view_.clientWidth, host->view_.clientHeight);
  host->runner_ = std::make_unique<Runner>(host->view_, host->glyphs_, scale, host->clock_);
  const char* window = EMSCRIPTEN_EVENT_TARGET_WINDOW;
  emscripten_set_keydown_callback(window, nullptr, EM_FALSE, OnKey);
  emscripten_set_keyup_callback(window, nullptr, EM_FALSE, OnKey);
  emscripten_set_blur_callback(window, nullptr, EM_FALSE, OnBlur);
  emscripten_set_visibilitychange_callback(nullptr, EM_FALSE, OnVisibility);
  host->Apply(host->runner_->Exposed());
}

void WebHost::CheckScale() {
  const int scale = ScaleForPixelRatio(kromi_pixel_ratio());
  if (scale == runner_->Scale()) return;
  // The text is rasterised afresh at the new scale, never stretched.
  Apply(runner_->ScaleChanged(scale));
}

void WebHost::Apply(const Next& next) {
  if (ended_) return;
  if (next.unloaded) {
    End();
    return;
  }
  Next now = next;
  if (now.frameDue) {
    Present();
    now = runner_->Peek();
  }
  if (timer_ != 0) {
    emscripten_clear_timeout(timer_);
    timer_ = 0;
  }
  // No timeout while nothing is due: a page at rest runs no code at all.
  if (const int ms = now.SleepMs(); ms >= 0) timer_ = emscripten_set_timeout(OnTimer, ms, nullptr);
}

void WebHost::Present() {
  const Frame& frame = runner_->Draw();
  const std::size_t n = frame.pixels.size();
  rgba_.resize(n * 4);
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint32_t p = frame.pixels[i];
    rgba_[4 * i] = static_cast<std::uint8_t>(p >> 16);
    rgba_[4 * i + 1] = static_cast<std::uint8_t>(p >> 8);
    rgba_[4 * i + 2] = static_cast<std::uint8_t>(p);
    rgba_[4 * i + 3] = 0xFF;  // the canvas shows what is drawn, never the page behind it
  }
  kromi_page_present(rgba_.data(), frame.width, frame.height);
}

void WebHost::End() {
  ended_ = true;
  if (timer_ != 0) emscripten_clear_timeout(timer_);
  timer_ = 0;
  emscripten_html5_remove_all_event_listeners();
  WebCues::Close();
  kromi_page_end();
}

}  // namespace kromi
