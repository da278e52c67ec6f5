// Drawing in a draw event: the context is a cairo context whose origin is the
// top-left corner of the plug-in's area, y growing downwards (a flipped
// context). JPEG images decode into cairo image surfaces.
#pragma once

#include <cairo.h>

#include <cstddef>
#include <memory>
#include <string>

#include "desktop/Status.h"

namespace Desktop {

struct Rect {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
};

struct Color {
  double red = 0;
  double green = 0;
  double blue = 0;
  double alpha = 1;
  static Color lightGray() { return {2.0 / 3.0, 2.0 / 3.0, 2.0 / 3.0, 1}; }
  static Color black() { return {0, 0, 0, 1}; }
  static Color white() { return {1, 1, 1, 1}; }
};

class Image {
 public:
  // Decodes JPEG bytes; null for anything else or broken data (with
  // Status::BadImageData in *status when given). Never reads past `length`.
  static std::unique_ptr<Image> fromJpeg(const unsigned char* data, std::size_t length,
                                         Status* status = nullptr);
  ~Image();
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

  int width() const;
  int height() const;
  // An ARGB32 surface owned by the image.
  cairo_surface_t* surface() const { return surface_; }

 private:
  explicit Image(cairo_surface_t* surface) : surface_(surface) {}
  cairo_surface_t* surface_;
};

void fillRect(cairo_t* cr, const Rect& rect, const Color& color);
// The outline of rect, the line centred on its edges.
void strokeRect(cairo_t* cr, const Rect& rect, const Color& color, double lineWidth);
// Draws the image stretched into rect the way a view does on a flipped
// context: the context is flipped back to y-up (for a rect at the origin:
// translate by the rect's height, scale y by -1) and the image laid out
// bottom row first into it, so it appears upright in rect. The context's
// state is restored afterwards.
void drawImage(cairo_t* cr, const Image& image, const Rect& rect);
// Text in the default font (sans, 12 points), centred horizontally in rect
// and starting at its top, like a centred paragraph.
void drawTextCentered(cairo_t* cr, const std::string& text, const Rect& rect,
                      const Color& color = Color::black());

}  // namespace Desktop
