// The window definition of Form1, one row per control, in the order of its tables, followed by
// the drawing order. Everything the player sees is created from these rows.
#include "kromi/res/form1.h"

#include <stdexcept>
#include <string>

#include "kromi/res/artwork.h"

namespace kromi {
namespace {

constexpr Colour Rgb(unsigned r, unsigned g, unsigned b) { return r | g << 8 | b << 16; }

const Font kVerdana13Bold{"Verdana", 13, true};    //  9.75 pt
const Font kVerdana15Bold{"Verdana", 15, true};    // 11.25 pt
const Font kVerdana21Bold{"Verdana", 21, true};    // 15.75 pt
const Font kArial24{"Arial", 24, false};           // 18 pt

enum Fill : bool { kNoFill = false, kSolidFill = true };
enum Border : bool { kNoBorder = false, kSolidBorder = true };
enum Back : bool { kTransparent = false, kOpaque = true };

struct ShapeRow {
  const char* name; int index;
  float left, top, width, height;
  Border border; int borderWidth; Colour borderColor;
  Fill fill; Colour fillColor;
};

struct PictureRow {
  const char* name; int index;
  float left, top, width, height;
  bool stretch;
};

struct LabelRow {
  const char* name; int index; const char* caption;
  float left, top, width, height;
  const Font* font; Colour foreColor; Back back; Colour backColor; Alignment align;
};

// Canvas and frame.
const ShapeRow kShapes[] = {
  // name       idx  Left Top  Width Height  border       width  BorderColor          fill        FillColor
  {"shpDuk",    -1,  141,  56,  138,  106,   kNoBorder,    1,    0,                   kSolidFill, 0},
  {"shpRam",     0,  125,  42,  169,  132,   kSolidBorder, 40,   kSysButtonShadow,    kNoFill,    0},
  {"shpRam",     1,  124,  41,  169,  132,   kSolidBorder, 40,   Rgb(224, 224, 224),  kNoFill,    0},
  {"shpRam",     2,  128,  45,  169,  132,   kSolidBorder, 40,   Rgb(128, 128, 128),  kNoFill,    0},
  // Slots.
  {"shpBar",     1,   19,  25,    4,  160,   kSolidBorder, 1,    Rgb(128, 128, 128),  kSolidFill, 0},
  {"shpBar",     2,   49,  25,    4,  160,   kSolidBorder, 1,    Rgb(128, 128, 128),  kSolidFill, 0},
  {"shpBar",     3,   79,  25,    4,  160,   kSolidBorder, 1,    Rgb(128, 128, 128),  kSolidFill, 0},
};

// Knobs, then the arrows shown at their own size.
const PictureRow kPictures[] = {
  // name       idx  Left  Top  Width Height  stretch
  {"imgPot",     1,    8,  170,   28,   18,   true},
  {"imgPot",     2,   38,  170,   28,   18,   true},
  {"imgPot",     3,   68,  170,   28,   18,   true},
  {"Image1",    -1,   55,  236,   12,   12,   false},
  {"Image2",    -1,  157,  236,   12,   12,   false},
  {"Image3",    -1,  259,  236,   12,   12,   false},
};

const LabelRow kLabels[] = {
  // Key digits.
  // name         idx  Caption     Left Top Width Height font             ForeColor           back          BackColor           alignment
  {"lblSiffra",    4,  "4",          16,   8,   9, 16,  &kVerdana13Bold, kSys3DDarkShadow,   kTransparent, 0,                  Alignment::Centre},
  {"lblSiffra",    5,  "5",          45,   8,   9, 16,  &kVerdana13Bold, kSys3DDarkShadow,   kTransparent, 0,                  Alignment::Centre},
  {"lblSiffra",    6,  "6",          75,   8,   9, 16,  &kVerdana13Bold, kSys3DDarkShadow,   kTransparent, 0,                  Alignment::Centre},
  {"lblSiffra",    1,  "1",          15, 185,   9, 16,  &kVerdana13Bold, kSys3DDarkShadow,   kTransparent, 0,                  Alignment::Centre},
  {"lblSiffra",    2,  "2",          45, 185,   9, 16,  &kVerdana13Bold, kSys3DDarkShadow,   kTransparent, 0,                  Alignment::Centre},
  {"lblSiffra",    3,  "3",          75, 185,   9, 16,  &kVerdana13Bold, kSys3DDarkShadow,   kTransparent, 0,                  Alignment::Centre},
  // Hexadecimal labels.
  {"lblHex",       1,  "C0",        157,   0,  23, 18,  &kVerdana15Bold, Rgb(255, 0, 0),     kOpaque,      Rgb(224, 224, 224), Alignment::Centre},
  {"lblHex",       2,  "C0",        197,   0,  23, 18,  &kVerdana15Bold, Rgb(0, 192, 0),     kOpaque,      Rgb(224, 224, 224), Alignment::Centre},
  {"lblHex",       3,  "C0",        237,   0,  23, 18,  &kVerdana15Bold, Rgb(0, 0, 192),     kOpaque,      Rgb(224, 224, 224), Alignment::Centre},
  {"lblHex",       0,  "?",         307,   3,  15, 27,  &kArial24,       Rgb(0, 0, 0),       kTransparent, 0,                  Alignment::Centre},
  // Buttons: face, highlight copy, shadow copy.
  {"lblAvsluta",   0,  "Avsluta",    19, 208,  88, 25,  &kVerdana21Bold, Rgb(192, 192, 192), kTransparent, 0,                  Alignment::Left},
  {"lblAvsluta",   1,  "Avsluta",    18, 207,  88, 25,  &kVerdana21Bold, Rgb(224, 224, 224), kTransparent, 0,                  Alignment::Left},
  {"lblAvsluta",   2,  "Avsluta",    20, 209,  88, 25,  &kVerdana21Bold, Rgb(128, 128, 128), kTransparent, 0,                  Alignment::Left},
  {"LblNyFärg",    0,  "Ny färg",   119, 208,  87, 25,  &kVerdana21Bold, Rgb(192, 192, 192), kTransparent, 0,                  Alignment::Left},
  {"LblNyFärg",    1,  "Ny färg",   118, 207,  87, 25,  &kVerdana21Bold, Rgb(224, 224, 224), kTransparent, 0,                  Alignment::Left},
  {"LblNyFärg",    2,  "Ny färg",   120, 209,  87, 25,  &kVerdana21Bold, Rgb(128, 128, 128), kTransparent, 0,                  Alignment::Left},
  {"lblGerUpp",    0,  "Visa mej",  218, 208, 100, 25,  &kVerdana21Bold, Rgb(192, 192, 192), kTransparent, 0,                  Alignment::Left},
  {"lblGerUpp",    1,  "Visa mej",  217, 207, 100, 25,  &kVerdana21Bold, Rgb(224, 224, 224), kTransparent, 0,                  Alignment::Left},
  {"lblGerUpp",    2,  "Visa mej",  219, 209, 100, 25,  &kVerdana21Bold, Rgb(128, 128, 128), kTransparent, 0,                  Alignment::Left},
};

struct TimerRow { const char* name; int interval; bool enabled; };
const TimerRow kTimers[] = {
  // name      Interval  Enabled
  {"Timer1",   100,      true},
  {"Timer2",   50,       false},
};

// Drawing order, top first.
struct OrderRow { const char* name; int index; };
const OrderRow kDrawingOrder[] = {
  {"lblHex", 3}, {"lblHex", 2}, {"lblHex", 1},
  {"Image3", -1}, {"Image2", -1}, {"Image1", -1},
  {"imgPot", 3}, {"imgPot", 2}, {"imgPot", 1},
  {"lblSiffra", 3}, {"lblSiffra", 2}, {"lblSiffra", 1}, {"lblSiffra", 6}, {"lblSiffra", 5}, {"lblSiffra", 4},
  {"shpDuk", -1},
  {"lblGerUpp", 0}, {"lblGerUpp", 2}, {"LblNyFärg", 0}, {"lblAvsluta", 0}, {"lblAvsluta", 2}, {"lblAvsluta", 1},
  {"shpRam", 0},
  {"lblGerUpp", 1},
  {"shpBar", 1}, {"shpBar", 2}, {"shpBar", 3},
  {"LblNyFärg", 1}, {"LblNyFärg", 2},
  {"shpRam", 1}, {"shpRam", 2},
  {"lblHex", 0},
};

EventGroup GroupOf(std::string_view name) {
  if (name == "lblAvsluta") return kGroupAvsluta;
  if (name == "LblNyFärg") return kGroupNyFärg;
  if (name == "lblGerUpp") return kGroupGerUpp;
  return -1;
}

const PaletteImage* PictureOf(std::string_view name, int index) {
  const Artwork& art = TheArtwork();
  if (name == "imgPot") return &art.knob[index];
  if (name == "Image1") return &art.arrowLeft;
  if (name == "Image2") return &art.arrowDown;
  if (name == "Image3") return &art.arrowRight;
  return nullptr;
}

[[noreturn]] void NoSuchControl(std::string_view name, int index) {
  throw std::logic_error("no control " + std::string(name) + "(" + std::to_string(index) + ")");
}

}  // namespace

const FormProperties kForm1{" Kromi av Tallkvistar", 328, 256, Rgb(192, 192, 192)};

ControlRef Form1Controls::Find(std::string_view name, int index) {
  auto in = [&](auto& array) -> decltype(&array[0]) {
    if (index < 0 || static_cast<std::size_t>(index) >= array.size()) NoSuchControl(name, index);
    return &array[static_cast<std::size_t>(index)];
  };
  if (name == "shpDuk") return &shpDuk;
  if (name == "shpRam") return in(shpRam);
  if (name == "shpBar") return in(shpBar);
  if (name == "imgPot") return in(imgPot);
  if (name == "Image1") return &Image1;
  if (name == "Image2") return &Image2;
  if (name == "Image3") return &Image3;
  if (name == "lblSiffra") return in(lblSiffra);
  if (name == "lblHex") return in(lblHex);
  if (name == "lblAvsluta") return in(lblAvsluta);
  if (name == "LblNyFärg") return in(LblNyFärg);
  if (name == "lblGerUpp") return in(lblGerUpp);
  NoSuchControl(name, index);
}

Form1Controls::Form1Controls() {
  for (const ShapeRow& row : kShapes) {
    Shape& s = *std::get<Shape*>(Find(row.name, row.index));
    s = Shape{row.name, static_cast<std::int16_t>(row.index), ShapeKind::RoundedRectangle,
              row.left, row.top, row.width, row.height, row.border, row.borderWidth, row.borderColor,
              row.fill, row.fillColor, true};
  }
  for (const PictureRow& row : kPictures) {
    Picture& p = *std::get<Picture*>(Find(row.name, row.index));
    p = Picture{row.name, static_cast<std::int16_t>(row.index), row.left, row.top, row.width,
                row.height, row.stretch, PictureOf(row.name, row.index), true};
  }
  for (const LabelRow& row : kLabels) {
    Label& l = *std::get<Label*>(Find(row.name, row.index));
    l = Label{row.name, static_cast<std::int16_t>(row.index), row.caption, row.left, row.top,
              row.width, row.height, *row.font, row.foreColor, row.back, row.backColor, row.align,
              true, GroupOf(row.name)};
  }
  Timer1 = Timer{kTimers[0].name, kTimers[0].interval, kTimers[0].enabled};
  Timer2 = Timer{kTimers[1].name, kTimers[1].interval, kTimers[1].enabled};
  for (const OrderRow& row : kDrawingOrder) drawingOrder_.push_back(Find(row.name, row.index));
}

}  // namespace kromi
