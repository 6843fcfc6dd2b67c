#pragma once
// The game window: every control of Form1 by name, built from the definition table.
#include <array>
#include <string_view>
#include <vector>

#include "kromi/core/controls.h"

namespace kromi {

// Mouse-event groups of the three button label arrays.
inline constexpr EventGroup kGroupAvsluta = 0;
inline constexpr EventGroup kGroupNyFärg = 1;
inline constexpr EventGroup kGroupGerUpp = 2;

struct FormProperties {
  std::string_view Caption;
  int ClientWidth;
  int ClientHeight;
  Colour BackColor;
};

// The window's own properties.
extern const FormProperties kForm1;

// The controls of Form1. Arrays keep their indices; element 0 is unused where the array
// starts at 1.
struct Form1Controls {
  Shape shpDuk;
  std::array<Shape, 3> shpRam;
  std::array<Picture, 4> imgPot;
  std::array<Shape, 4> shpBar;
  std::array<Label, 7> lblSiffra;
  std::array<Label, 4> lblHex;
  std::array<Label, 3> lblAvsluta;
  std::array<Label, 3> LblNyFärg;
  std::array<Label, 3> lblGerUpp;
  Picture Image1, Image2, Image3;
  Timer Timer1, Timer2;

  Form1Controls();
  Form1Controls(const Form1Controls&) = delete;
  Form1Controls& operator=(const Form1Controls&) = delete;

  // Top first: where controls overlap, the earlier one is drawn on top and gets the mouse.
  const std::vector<ControlRef>& DrawingOrder() const { return drawingOrder_; }

  // A control by its name and index (-1 for a control that is no array), or nothing.
  ControlRef Find(std::string_view name, int index);

 private:
  std::vector<ControlRef> drawingOrder_;
};

}  // namespace kromi
