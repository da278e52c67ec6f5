// png-probe FILE LIST: checks the pixels of a screenshot against the lines of
// LIST, prints each failure, and exits 1 when any failed. "#" starts a
// comment; COLOUR is RRGGBB in hex, TOL the largest difference allowed in any
// channel (default 0):
//   X Y COLOUR [TOL]                the pixel has that colour
//   some X Y W H COLOUR [TOL]       some pixel of the region has it
//   none X Y W H COLOUR [TOL]       no pixel of the region has it
//   same X Y W H X2 Y2              the region equals the one at X2 Y2
#include <cairo.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

cairo_surface_t* png = nullptr;

bool inside(int x, int y, int w, int h) {
  return x >= 0 && y >= 0 && w > 0 && h > 0 && x + w <= cairo_image_surface_get_width(png) &&
         y + h <= cairo_image_surface_get_height(png);
}

// RRGGBB of a pixel. Cairo keeps native-endian words with premultiplied alpha;
// the screenshot is opaque, so a translucent pixel reads as an impossible colour.
long at(int x, int y) {
  const unsigned char* row =
      cairo_image_surface_get_data(png) + std::ptrdiff_t{y} * cairo_image_surface_get_stride(png);
  const std::uint32_t word = reinterpret_cast<const std::uint32_t*>(row)[x];
  const bool opaque =
      cairo_image_surface_get_format(png) == CAIRO_FORMAT_RGB24 || word >> 24 == 0xff;
  return opaque ? long(word & 0xffffff) : -1;
}

bool near(long a, long b, int tol) {
  if (a < 0 || b < 0) return false;
  for (int shift = 0; shift < 24; shift += 8)
    if (std::abs(int((a >> shift) & 0xff) - int((b >> shift) & 0xff)) > tol) return false;
  return true;
}

std::string hex(long colour) {
  char text[8];
  std::snprintf(text, sizeof text, "%06lx", colour & 0xffffff);
  return colour < 0 ? "translucent" : text;
}

// One LIST line; an empty answer when it holds, else why not.
std::string check(const std::string& line) {
  std::istringstream in(line);
  std::string kind, colourText;
  in >> kind;
  int x = 0, y = 0, w = 1, h = 1, x2 = 0, y2 = 0, tol = 0;
  if (kind == "same") {
    if (!(in >> x >> y >> w >> h >> x2 >> y2)) return "malformed";
    if (!inside(x, y, w, h) || !inside(x2, y2, w, h)) return "outside the image";
    for (int dy = 0; dy < h; ++dy)
      for (int dx = 0; dx < w; ++dx)
        if (at(x + dx, y + dy) != at(x2 + dx, y2 + dy))
          return "differs at " + std::to_string(x + dx) + " " + std::to_string(y + dy) + ": " +
                 hex(at(x + dx, y + dy)) + " against " + hex(at(x2 + dx, y2 + dy));
    return "";
  }
  const bool region = kind == "some" || kind == "none";
  if (!region) x = std::atoi(kind.c_str());
  if (region ? !(in >> x >> y >> w >> h >> colourText) : !(in >> y >> colourText))
    return "malformed";
  in >> tol;
  if (colourText.size() != 6 || colourText.find_first_not_of("0123456789abcdefABCDEF") != kind.npos)
    return "bad colour " + colourText;
  const long want = std::strtol(colourText.c_str(), nullptr, 16);
  if (!inside(x, y, w, h)) return "outside the image";
  int matches = 0;
  for (int dy = 0; dy < h; ++dy)
    for (int dx = 0; dx < w; ++dx) matches += near(at(x + dx, y + dy), want, tol);
  if (kind == "some" && matches == 0) return "no pixel matches";
  if (kind == "none" && matches > 0) return std::to_string(matches) + " pixel(s) match";
  if (!region && matches == 0) return "is " + hex(at(x, y));
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return std::fprintf(stderr, "usage: png-probe FILE LIST\n"), 2;
  png = cairo_image_surface_create_from_png(argv[1]);
  const cairo_format_t format = cairo_image_surface_get_format(png);
  std::ifstream list(argv[2]);
  if (cairo_surface_status(png) != CAIRO_STATUS_SUCCESS || !list ||
      (format != CAIRO_FORMAT_ARGB32 && format != CAIRO_FORMAT_RGB24))
    return std::fprintf(stderr, "png-probe: cannot read %s or %s\n", argv[1], argv[2]), 2;
  int failures = 0, checks = 0;
  std::string line;
  for (int number = 1; std::getline(list, line); ++number) {
    const std::string body = line.substr(0, line.find('#'));
    if (body.find_first_not_of(" \t\r") == std::string::npos) continue;
    ++checks;
    const std::string why = check(body);
    if (!why.empty()) {
      std::printf("%s:%d: %s: %s\n", argv[2], number, line.c_str(), why.c_str());
      ++failures;
    }
  }
  cairo_surface_destroy(png);
  std::printf("%d of %d pixel checks failed\n", failures, checks);
  return failures == 0 && checks > 0 ? 0 : 1;
}
