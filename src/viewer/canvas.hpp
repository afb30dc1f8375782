// The small drawing surface every redraw paints on. The windows implement it with a
// painter on an in-memory image; tests record the calls. Coordinates are pixels of
// the image, (0, 0) at the top left, y growing downwards.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace vornax {

struct Color {
  uint8_t r = 0, g = 0, b = 0;
  friend constexpr bool operator==(Color, Color) = default;
};

// The named colours of the drawings (the classic 16-colour palette).
namespace colors {
constexpr Color kBlack{0, 0, 0};
constexpr Color kWhite{255, 255, 255};
constexpr Color kRed{255, 0, 0};
constexpr Color kBlue{0, 0, 255};
constexpr Color kGreen{0, 128, 0};
constexpr Color kLime{0, 255, 0};
constexpr Color kGrey{128, 128, 128};
constexpr Color kSilver{192, 192, 192};
constexpr Color kYellow{255, 255, 0};
constexpr Color kFuchsia{255, 0, 255};
constexpr Color kPurple{128, 0, 128};
constexpr Color kOrange{255, 140, 0};
constexpr Color kTeal{0, 128, 128};
}  // namespace colors

enum class PenStyle { Solid, Dot };

struct Point {
  int x = 0, y = 0;
  friend constexpr bool operator==(Point, Point) = default;
};

struct TextStyle {
  Color color = colors::kBlack;
  bool opaque = false;              // paint `background` behind the text
  Color background = colors::kWhite;
  int height = 8;                   // font height in pixels
};

class Canvas {
 public:
  virtual ~Canvas() = default;

  virtual int width() const = 0;
  virtual int height() const = 0;

  // Pen for the following lines and polylines.
  virtual void set_pen(Color color, PenStyle style = PenStyle::Solid) = 0;

  // Fills the pixels x0..x1-1, y0..y1-1 (no border).
  virtual void fill_rect(int x0, int y0, int x1, int y1, Color fill) = 0;

  // A line with the current pen from (x0, y0) to (x1, y1), both ends included.
  virtual void line(int x0, int y0, int x1, int y1) = 0;

  // Joined segments with the current pen.
  virtual void polyline(std::span<const Point> points) = 0;

  // Text whose top-left corner is at (x, y).
  virtual void text(int x, int y, std::string_view text, const TextStyle& style) = 0;
  virtual int text_width(std::string_view text, int height) const = 0;
};

}  // namespace vornax
