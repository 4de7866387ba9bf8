#include "platform/image_table.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <array>
#include <cmath>
#include <tuple>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "platform/text.h"
#include "support/temp_dir.h"

namespace larkspur {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::TempDir;

// Makes an image file from raw RGBA with ImageMagick; `options` go between
// the input and the output, `output` may carry a format prefix like PNG32:.
void convertRaw(const TempDir& dir, const Bytes& rgba, int width, int height,
                const std::string& options, const std::string& output) {
  const std::string raw = dir.write("raw.rgba", std::string(rgba.begin(), rgba.end()));
  const std::string command = "convert -size " + std::to_string(width) + "x" + std::to_string(height) +
                              " -depth 8 rgba:" + shellQuote(raw) + " " + options + " " + shellQuote(output);
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

// ------------------------------------------------------ the formula, slowly

double referenceKernel(double x) {
  const double a = std::fabs(x);
  if (a < 1) return (7.0 / 6.0) * a * a * a - 2.0 * a * a + 8.0 / 9.0;
  if (a < 2) return (-7.0 / 18.0) * a * a * a + 2.0 * a * a - (10.0 / 3.0) * a + 16.0 / 9.0;
  return 0;
}

// One pass along one axis of a w x h image to t samples.
Bytes referencePass(const Bytes& in, int w, int h, int t, bool horizontal) {
  const int source = horizontal ? w : h, lines = horizontal ? h : w, ow = horizontal ? t : w;
  Bytes out(static_cast<std::size_t>(ow) * (horizontal ? h : t) * 4);
  const double s = static_cast<double>(t) / source, radius = s < 1 ? 2 / s : 2, g = std::min(s, 1.0);
  for (int i = 0; i < t; ++i) {
    const double c = (i + 0.5) / s - 0.5;
    int lo = std::max(0, static_cast<int>(std::floor(c - radius)));
    const int hi = std::min(source - 1, static_cast<int>(std::ceil(c + radius)));
    if (hi - lo + 1 > 2 * static_cast<int>(std::ceil(radius)) + 1) ++lo;
    double total = 0;
    for (int l = lo; l <= hi; ++l) total += referenceKernel((c - l) * g) * g;
    for (int line = 0; line < lines; ++line)
      for (int ch = 0; ch < 4; ++ch) {
        double sum = 0;
        for (int l = lo; l <= hi; ++l) {
          const double weight = referenceKernel((c - l) * g) * g;
          sum += (total > 0 ? weight / total : weight) * in[((horizontal ? line * w + l : l * w + line)) * 4 + ch];
        }
        out[(horizontal ? line * ow + i : i * ow + line) * 4 + ch] =
            static_cast<std::uint8_t>(std::clamp(static_cast<int>(sum + 0.5), 0, 255));
      }
  }
  return out;
}

// The pass that shrinks the image more goes first.
Bytes referenceResize(const Bytes& src, int sw, int sh, int tw, int th) {
  if (static_cast<long>(sw) * th < static_cast<long>(sh) * tw)
    return referencePass(referencePass(src, sw, sh, th, false), sw, th, tw, true);
  return referencePass(referencePass(src, sw, sh, tw, true), tw, sh, th, false);
}

TEST(SmoothResize, MatchesTheFormulaExactly) {
  const std::array<int, 4> sizes[] = {{640, 640, 268, 268},
                                      {37, 11, 5, 40},   // vertical pass first
                                      {9, 30, 23, 7},    // horizontal first
                                      {3, 3, 17, 17},    // enlarge past edges
                                      {300, 2, 1, 1}};   // huge radius
  for (auto [sw, sh, tw, th] : sizes) {
    std::mt19937 random(static_cast<unsigned>(sw * 31 + th));
    Bytes source(static_cast<std::size_t>(sw) * sh * 4);
    for (auto& b : source) b = static_cast<std::uint8_t>(random());
    ImageTable table;
    table.create(2, sw, sh, 32, -1);
    table.mutableImage(2)->rgba = source;
    ASSERT_TRUE(table.resize(2, tw, th, 0));
    const Image* out = table.platformImage(2);
    EXPECT_EQ(std::pair(out->width, out->height), std::pair(tw, th));
    EXPECT_EQ(out->rgba, referenceResize(source, sw, sh, tw, th)) << sw << "x" << sh << " to " << tw << "x" << th;
  }
}

// ------------------------------------------------------------------ loader

// PNG alpha comes back not premultiplied; a grey JPEG declared at 144 dpi
// keeps its pixel size and becomes opaque RGBA.
TEST(ImageLoader, ReadsPngAlphaAsItIsAndGreyJpegAsOpaqueRgbaAtItsPixelSize) {
  TempDir dir;
  const Bytes rgba = {200, 100, 50, 128, 255, 255, 255, 0, 10, 20, 30, 255,
                      0,   0,   0,  1,   90,  180, 240, 64, 1, 2, 3, 254};
  convertRaw(dir, rgba, 3, 2, "", "PNG32:" + dir.file("alpha.png"));
  convertRaw(dir, Bytes(40 * 30 * 4, 200), 40, 30, "-colorspace Gray -density 144 -units PixelsPerInch",
             dir.file("hires.jpeg"));
  ImageTable table;
  const Image* png = loadImageFile(table, 0, dir.file("alpha.png"));
  ASSERT_NE(png, nullptr);
  EXPECT_EQ(png->width, 3);
  EXPECT_EQ(png->rgba, rgba);
  const Image* image = loadImageFile(table, 3, dir.file("hires.jpeg"));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(std::tuple(image->width, image->height, image->pointWidth), std::tuple(40, 30, 40));
  EXPECT_NEAR(image->rgba[0], 200, 2);
  EXPECT_EQ(image->rgba[0], image->rgba[1]);
  EXPECT_EQ(image->rgba[3], 255);
}

std::string bigEndian(std::uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

// A PNG header claiming 10000 x 10000 pixels (100 megapixels), with no data.
std::string hugePngHeader() {
  const std::string ihdr = "IHDR" + bigEndian(10000) + bigEndian(10000) + std::string("\x08\x06\0\0\0", 5);
  const auto crc = crc32(0, reinterpret_cast<const Bytef*>(ihdr.data()), static_cast<uInt>(ihdr.size()));
  return std::string("\x89PNG\r\n\x1a\n", 8) + bigEndian(13) + ihdr + bigEndian(static_cast<std::uint32_t>(crc));
}

// Missing, not an image, too large, or cut short: no image and no slot.
TEST(ImageLoader, UnreadableFileAnswersNullAndLeavesNoSlot) {
  for (std::string kind : {"missing", "text", "huge png", "PNG32", "JPEG"}) {
    TempDir dir;
    if (kind == "text") dir.write("broken", "<html>not found</html>");
    if (kind == "huge png") dir.write("broken", hugePngHeader());
    if (kind == "PNG32" || kind == "JPEG") {
      convertRaw(dir, Bytes(64 * 64 * 4, 90), 64, 64, "+noise Random -quality 95", kind + ":" + dir.file("whole"));
      dir.write("broken", dir.read("whole").substr(0, dir.read("whole").size() / 2));
    }
    ImageTable table;
    EXPECT_EQ(loadImageFile(table, 3, dir.file("broken")), nullptr) << kind;
    EXPECT_FALSE(table.exists(3)) << kind;
  }
}

}  // namespace
}  // namespace larkspur
