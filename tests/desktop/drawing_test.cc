#include "desktop/Drawing.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cstdint>
#include <vector>

using namespace Desktop;

namespace {

// A width x height JPEG whose top half is red and bottom half blue.
std::vector<unsigned char> makeJpeg(int width, int height) {
  std::vector<unsigned char> rgb(static_cast<size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      unsigned char* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
      const bool top = y < height / 2;
      p[0] = top ? 255 : 0;
      p[2] = top ? 0 : 255;
    }
  }
  tjhandle tj = tjInitCompress();
  unsigned char* out = nullptr;
  unsigned long size = 0;
  const int rc = tjCompress2(tj, rgb.data(), width, 0, height, TJPF_RGB, &out, &size, TJSAMP_444, 95, 0);
  std::vector<unsigned char> jpeg;
  if (rc == 0) jpeg.assign(out, out + size);
  tjFree(out);
  tjDestroy(tj);
  return jpeg;
}

// Red, green, blue of a pixel of an ARGB32 surface.
struct Rgb {
  int r, g, b;
};
Rgb pixel(cairo_surface_t* s, int x, int y) {
  cairo_surface_flush(s);
  const unsigned char* row = cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
  const std::uint32_t v = reinterpret_cast<const std::uint32_t*>(row)[x];
  return {static_cast<int>((v >> 16) & 0xff), static_cast<int>((v >> 8) & 0xff), static_cast<int>(v & 0xff)};
}

TEST(Image, JpegDecodesWithItsSizeAndColours) {
  const auto jpeg = makeJpeg(40, 20);
  ASSERT_FALSE(jpeg.empty());
  Status status = Status::BadImageData;
  auto image = Image::fromJpeg(jpeg.data(), jpeg.size(), &status);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(status, Status::Ok);
  EXPECT_EQ(image->width(), 40);
  EXPECT_EQ(image->height(), 20);
  EXPECT_GT(pixel(image->surface(), 5, 2).r, 200);
  EXPECT_GT(pixel(image->surface(), 5, 17).b, 200);
}

TEST(Image, NonJpegAndBrokenDataFailCleanly) {
  const unsigned char png[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13,
                               'I', 'H', 'D', 'R', 0, 0, 0, 1, 0, 0, 0, 1, 8, 2, 0, 0, 0};
  Status status = Status::Ok;
  EXPECT_EQ(Image::fromJpeg(png, sizeof png, &status), nullptr);
  EXPECT_EQ(status, Status::BadImageData);
  EXPECT_EQ(Image::fromJpeg(nullptr, 0), nullptr);
  const auto jpeg = makeJpeg(64, 64);
  ASSERT_GT(jpeg.size(), 100u);
  EXPECT_EQ(Image::fromJpeg(jpeg.data(), 100), nullptr);  // cut short
  EXPECT_EQ(Image::fromJpeg(jpeg.data(), 2), nullptr);
}

class DrawingTest : public ::testing::Test {
 protected:
  DrawingTest()
      : surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 100, 60)), cr(cairo_create(surface)) {}
  ~DrawingTest() override {
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
  }
  cairo_surface_t* surface;
  cairo_t* cr;
};

TEST_F(DrawingTest, ImageIsStretchedUprightIntoTheRect) {
  const auto jpeg = makeJpeg(16, 16);
  auto image = Image::fromJpeg(jpeg.data(), jpeg.size());
  ASSERT_NE(image, nullptr);
  fillRect(cr, {0, 0, 100, 60}, Color::white());
  drawImage(cr, *image, {0, 0, 100, 60});
  EXPECT_GT(pixel(surface, 50, 5).r, 200);   // top stays on top
  EXPECT_LT(pixel(surface, 50, 5).b, 60);
  EXPECT_GT(pixel(surface, 50, 55).b, 200);
  EXPECT_GT(pixel(surface, 98, 58).b, 200);  // stretched to the far corner

  fillRect(cr, {0, 0, 100, 60}, Color::white());
  drawImage(cr, *image, {50, 30, 50, 30});
  EXPECT_EQ(pixel(surface, 20, 20).r, 255);  // outside: untouched white
  EXPECT_EQ(pixel(surface, 20, 20).b, 255);
  EXPECT_GT(pixel(surface, 75, 33).r, 200);
  EXPECT_GT(pixel(surface, 75, 57).b, 200);
}

TEST_F(DrawingTest, FillStrokeAndText) {
  fillRect(cr, {0, 0, 100, 60}, Color::lightGray());
  EXPECT_EQ(pixel(surface, 50, 30).r, 170);
  strokeRect(cr, {0, 0, 100, 60}, Color::black(), 5.0);
  EXPECT_EQ(pixel(surface, 1, 30).r, 0);    // the edge
  EXPECT_EQ(pixel(surface, 50, 30).r, 170);  // the inside
  drawTextCentered(cr, "Tarsen", {5, 5, 90, 50});
  int left = 100, right = -1, bottom = -1;
  for (int y = 5; y < 55; ++y) {
    for (int x = 5; x < 95; ++x) {
      if (pixel(surface, x, y).r < 100) {
        left = std::min(left, x);
        right = std::max(right, x);
        bottom = std::max(bottom, y);
      }
    }
  }
  ASSERT_GE(right, left);
  EXPECT_NEAR(left - 5, 94 - right, 3);  // equal margins: centred
  EXPECT_LT(bottom, 25);                 // set from the top, like a paragraph
}

}  // namespace
