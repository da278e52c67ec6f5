// png-probe FILE LIST: checks the pixels of an RGB screenshot against the lines of LIST, prints
// each failure, and exits 1 when any failed. "#" starts a comment; COLOUR is RRGGBB in hex, TOL the
// largest difference allowed in any channel (default 0):
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

// Cairo keeps an RGB image as native-endian 32-bit words, the top byte unused.
long at(int x, int y) {
  const unsigned char* row =
      cairo_image_surface_get_data(png) + std::ptrdiff_t{y} * cairo_image_surface_get_stride(png);
  return long(reinterpret_cast<const std::uint32_t*>(row)[x] & 0xffffff);
}

bool near(long a, long b, int tol) {
  for (int shift = 0; shift < 24; shift += 8)
    if (std::abs(int((a >> shift) & 0xff) - int((b >> shift) & 0xff)) > tol) return false;
  return true;
}

// One LIST line, a pixel being a region of one that some pixel must match:
// an empty answer when it holds, else why not.
std::string check(const std::string& line) {
  std::istringstream in(line);
  std::string kind, colour;
  int x = 0, y = 0, w = 1, h = 1, x2 = 0, y2 = 0, tol = 0;
  in >> kind;
  const bool pixel = !kind.empty() && kind[0] >= '0' && kind[0] <= '9';
  if (pixel) in.seekg(0);
  else if (kind != "some" && kind != "none" && kind != "same") return "malformed";
  if (!(in >> x >> y) || (!pixel && !(in >> w >> h)) || !inside(x, y, w, h) ||
      (kind == "same" && (!(in >> x2 >> y2) || !inside(x2, y2, w, h))))
    return "malformed or outside the image";
  if (kind != "same" && (!(in >> colour) || colour.size() != 6 ||
                         colour.find_first_not_of("0123456789abcdefABCDEF") != colour.npos))
    return "bad colour";
  in >> tol;
  const long want = std::strtol(colour.c_str(), nullptr, 16);
  int matches = 0;
  for (int dy = 0; dy < h; ++dy)
    for (int dx = 0; dx < w; ++dx)
      matches += near(at(x + dx, y + dy), kind == "same" ? at(x2 + dx, y2 + dy) : want, tol);
  char is[16];
  std::snprintf(is, sizeof is, "is %06lx", at(x, y));
  if (kind == "same") return matches == w * h ? "" : std::to_string(w * h - matches) + " differ";
  if (kind == "none") return matches == 0 ? "" : std::to_string(matches) + " pixel(s) match";
  return matches > 0 ? "" : pixel ? is : "no pixel matches";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return std::fprintf(stderr, "usage: png-probe FILE LIST\n"), 2;
  png = cairo_image_surface_create_from_png(argv[1]);
  std::ifstream list(argv[2]);
  if (cairo_surface_status(png) != CAIRO_STATUS_SUCCESS || !list ||
      cairo_image_surface_get_format(png) != CAIRO_FORMAT_RGB24)
    return std::fprintf(stderr, "png-probe: cannot read %s as RGB, or %s\n", argv[1], argv[2]), 2;
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
