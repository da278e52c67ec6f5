#include "desktop/Drawing.h"

#include <turbojpeg.h>

namespace Desktop {

namespace {

// Far above any area a page draws, low enough that a forged header cannot
// make us allocate gigabytes.
constexpr int kMaxSide = 16384;
constexpr long long kMaxPixels = 64LL * 1024 * 1024;

std::unique_ptr<Image> refuse(Status* status) {
  if (status != nullptr) *status = Status::BadImageData;
  return nullptr;
}

}  // namespace

std::unique_ptr<Image> Image::fromJpeg(const unsigned char* data, std::size_t length, Status* status) {
  if (data == nullptr || length < 4 || length > 0x7fffffffUL) return refuse(status);
  // Every JPEG stream starts with the start-of-image marker.
  if (data[0] != 0xFF || data[1] != 0xD8) return refuse(status);
  tjhandle tj = tjInitDecompress();
  if (tj == nullptr) return refuse(status);
  int width = 0, height = 0, subsamp = 0, colorspace = 0;
  if (tjDecompressHeader3(tj, data, static_cast<unsigned long>(length), &width, &height, &subsamp,
                          &colorspace) != 0 ||
      width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide ||
      static_cast<long long>(width) * height > kMaxPixels) {
    tjDestroy(tj);
    return refuse(status);
  }
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    tjDestroy(tj);
    return refuse(status);
  }
  cairo_surface_flush(surface);
  // ARGB32 is native-endian 32-bit: bytes B, G, R, A on this machine.
  const int rc = tjDecompress2(tj, data, static_cast<unsigned long>(length),
                               cairo_image_surface_get_data(surface), width,
                               cairo_image_surface_get_stride(surface), height, TJPF_BGRA,
                               TJFLAG_ACCURATEDCT);
  tjDestroy(tj);
  // Warnings (a truncated stream, say) count as failures too: the data is broken.
  if (rc != 0) {
    cairo_surface_destroy(surface);
    return refuse(status);
  }
  cairo_surface_mark_dirty(surface);
  if (status != nullptr) *status = Status::Ok;
  return std::unique_ptr<Image>(new Image(surface));
}

Image::~Image() { cairo_surface_destroy(surface_); }

int Image::width() const { return cairo_image_surface_get_width(surface_); }
int Image::height() const { return cairo_image_surface_get_height(surface_); }

void fillRect(cairo_t* cr, const Rect& rect, const Color& color) {
  cairo_save(cr);
  cairo_set_source_rgba(cr, color.red, color.green, color.blue, color.alpha);
  cairo_rectangle(cr, rect.x, rect.y, rect.width, rect.height);
  cairo_fill(cr);
  cairo_restore(cr);
}

void strokeRect(cairo_t* cr, const Rect& rect, const Color& color, double lineWidth) {
  cairo_save(cr);
  cairo_set_source_rgba(cr, color.red, color.green, color.blue, color.alpha);
  cairo_set_line_width(cr, lineWidth);
  cairo_rectangle(cr, rect.x, rect.y, rect.width, rect.height);
  cairo_stroke(cr);
  cairo_restore(cr);
}

void drawImage(cairo_t* cr, const Image& image, const Rect& rect) {
  if (rect.width <= 0 || rect.height <= 0) return;
  cairo_save(cr);
  // Flip the flipped context back to y-up about the rect, as a view does
  // before drawing (for a rect at the origin: translate by its height).
  cairo_translate(cr, 0, 2 * rect.y + rect.height);
  cairo_scale(cr, 1, -1);
  // In a y-up space an image is laid out bottom row first; with the flip
  // above, its top row lands at the top of the area.
  cairo_translate(cr, rect.x, rect.y + rect.height);
  cairo_scale(cr, rect.width / image.width(), -rect.height / image.height());
  cairo_set_source_surface(cr, image.surface(), 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
  cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
  cairo_rectangle(cr, 0, 0, image.width(), image.height());
  cairo_fill(cr);
  cairo_restore(cr);
}

void drawTextCentered(cairo_t* cr, const std::string& text, const Rect& rect, const Color& color) {
  cairo_save(cr);
  cairo_rectangle(cr, rect.x, rect.y, rect.width, rect.height);
  cairo_clip(cr);
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, 12.0);
  cairo_font_extents_t font;
  cairo_font_extents(cr, &font);
  cairo_text_extents_t extents;
  cairo_text_extents(cr, text.c_str(), &extents);
  const double x = rect.x + (rect.width - extents.x_advance) / 2.0;
  cairo_set_source_rgba(cr, color.red, color.green, color.blue, color.alpha);
  cairo_move_to(cr, x, rect.y + font.ascent);
  cairo_show_text(cr, text.c_str());
  cairo_restore(cr);
}

}  // namespace Desktop
