// png-probe: reads pixels of a PNG file, for checks of screenshots.
//
//   png-probe FILE X Y [X Y]...   prints "X Y RRGGBBAA" for each point
//   png-probe --check FILE LIST   checks the lines of LIST, prints each
//                                 failure; exit 1 when any failed
//
// LIST lines ("#" starts a comment; COLOUR is RRGGBB or RRGGBBAA in hex,
// TOL the largest difference allowed in any channel, default 0):
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

struct Rgba {
  int r, g, b, a;
};

class Png {
 public:
  explicit Png(const char* path) : surface_(cairo_image_surface_create_from_png(path)) {}
  ~Png() { cairo_surface_destroy(surface_); }
  Png(const Png&) = delete;
  Png& operator=(const Png&) = delete;

  bool ok() const {
    return cairo_surface_status(surface_) == CAIRO_STATUS_SUCCESS &&
           (format() == CAIRO_FORMAT_ARGB32 || format() == CAIRO_FORMAT_RGB24);
  }
  int width() const { return cairo_image_surface_get_width(surface_); }
  int height() const { return cairo_image_surface_get_height(surface_); }
  bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width() && y < height(); }

  // Cairo keeps native-endian words with premultiplied alpha; undo both.
  Rgba at(int x, int y) const {
    const unsigned char* row = cairo_image_surface_get_data(surface_) +
                               static_cast<std::ptrdiff_t>(y) * cairo_image_surface_get_stride(surface_);
    const std::uint32_t word = reinterpret_cast<const std::uint32_t*>(row)[x];
    const int a = format() == CAIRO_FORMAT_RGB24 ? 255 : static_cast<int>(word >> 24);
    auto channel = [a](std::uint32_t v) {
      return a == 0 ? 0 : static_cast<int>((v * 255 + static_cast<std::uint32_t>(a) / 2) /
                                           static_cast<std::uint32_t>(a));
    };
    return Rgba{channel((word >> 16) & 0xff), channel((word >> 8) & 0xff), channel(word & 0xff), a};
  }

 private:
  cairo_format_t format() const { return cairo_image_surface_get_format(surface_); }
  cairo_surface_t* surface_;
};

std::string hex(const Rgba& c) {
  char text[9];
  std::snprintf(text, sizeof text, "%02x%02x%02x%02x", c.r, c.g, c.b, c.a);
  return text;
}

bool parseColour(const std::string& text, Rgba& out) {
  if ((text.size() != 6 && text.size() != 8) ||
      text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
    return false;
  const unsigned long v = std::strtoul(text.c_str(), nullptr, 16);
  if (text.size() == 6) {
    out = Rgba{static_cast<int>((v >> 16) & 0xff), static_cast<int>((v >> 8) & 0xff),
               static_cast<int>(v & 0xff), 255};
  } else {
    out = Rgba{static_cast<int>((v >> 24) & 0xff), static_cast<int>((v >> 16) & 0xff),
               static_cast<int>((v >> 8) & 0xff), static_cast<int>(v & 0xff)};
  }
  return true;
}

bool near(const Rgba& a, const Rgba& b, int tol) {
  return std::abs(a.r - b.r) <= tol && std::abs(a.g - b.g) <= tol && std::abs(a.b - b.b) <= tol &&
         std::abs(a.a - b.a) <= tol;
}

// One LIST line; false with `why` set when it does not hold.
bool checkLine(const Png& png, const std::string& line, std::string& why) {
  std::istringstream in(line);
  std::string first;
  in >> first;
  int x = 0, y = 0, w = 1, h = 1;
  std::string colourText;
  int tol = 0;
  if (first == "same") {
    int x2 = 0, y2 = 0;
    if (!(in >> x >> y >> w >> h >> x2 >> y2)) return why = "malformed", false;
    if (!png.contains(x, y) || !png.contains(x + w - 1, y + h - 1) || !png.contains(x2, y2) ||
        !png.contains(x2 + w - 1, y2 + h - 1))
      return why = "outside the image", false;
    for (int dy = 0; dy < h; ++dy)
      for (int dx = 0; dx < w; ++dx) {
        const Rgba a = png.at(x + dx, y + dy), b = png.at(x2 + dx, y2 + dy);
        if (!near(a, b, 0)) {
          why = "differs at " + std::to_string(x + dx) + " " + std::to_string(y + dy) + ": " +
                hex(a) + " against " + hex(b);
          return false;
        }
      }
    return true;
  }
  const bool region = first == "some" || first == "none";
  if (region) {
    if (!(in >> x >> y >> w >> h >> colourText)) return why = "malformed", false;
  } else {
    x = std::atoi(first.c_str());
    if (!(in >> y >> colourText)) return why = "malformed", false;
  }
  in >> tol;
  Rgba want{};
  if (!parseColour(colourText, want)) return why = "bad colour " + colourText, false;
  if (!png.contains(x, y) || !png.contains(x + w - 1, y + h - 1))
    return why = "outside the image", false;
  int matches = 0;
  Rgba last{};
  for (int dy = 0; dy < h; ++dy)
    for (int dx = 0; dx < w; ++dx) {
      last = png.at(x + dx, y + dy);
      if (near(last, want, tol)) ++matches;
    }
  if (first == "some" && matches == 0) return why = "no pixel matches", false;
  if (first == "none" && matches > 0) return why = std::to_string(matches) + " pixel(s) match", false;
  if (!region && matches == 0) return why = "is " + hex(last), false;
  return true;
}

int check(const char* pngPath, const char* listPath) {
  Png png(pngPath);
  if (!png.ok()) {
    std::fprintf(stderr, "png-probe: cannot read %s as an RGB image\n", pngPath);
    return 2;
  }
  std::ifstream list(listPath);
  if (!list) {
    std::fprintf(stderr, "png-probe: cannot read %s\n", listPath);
    return 2;
  }
  int failures = 0, checks = 0;
  std::string line;
  for (int number = 1; std::getline(list, line); ++number) {
    const std::string body = line.substr(0, line.find('#'));
    if (body.find_first_not_of(" \t\r") == std::string::npos) continue;
    ++checks;
    std::string why;
    if (!checkLine(png, body, why)) {
      std::printf("%s:%d: %s: %s\n", listPath, number, line.c_str(), why.c_str());
      ++failures;
    }
  }
  std::printf("%d of %d pixel checks failed\n", failures, checks);
  return failures == 0 && checks > 0 ? 0 : 1;
}

int print(const char* pngPath, int count, char** coordinates) {
  Png png(pngPath);
  if (!png.ok()) {
    std::fprintf(stderr, "png-probe: cannot read %s as an RGB image\n", pngPath);
    return 2;
  }
  for (int i = 0; i + 1 < count; i += 2) {
    const int x = std::atoi(coordinates[i]), y = std::atoi(coordinates[i + 1]);
    if (!png.contains(x, y)) {
      std::fprintf(stderr, "png-probe: %d %d is outside the %dx%d image\n", x, y, png.width(),
                   png.height());
      return 2;
    }
    std::printf("%d %d %s\n", x, y, hex(png.at(x, y)).c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--check") return check(argv[2], argv[3]);
  if (argc >= 4 && argc % 2 == 0) return print(argv[1], argc - 2, argv + 2);
  std::fprintf(stderr, "usage: png-probe FILE X Y [X Y]...\n       png-probe --check FILE LIST\n");
  return 2;
}
