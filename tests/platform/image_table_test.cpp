#include "platform/image_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/event_queue.h"
#include "platform/text.h"

namespace larkspur {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "larkspur-img-XXXXXX").string();
    path_ = mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void writeBytes(const std::string& path, const void* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// Makes an image file from raw RGBA with ImageMagick; `options` go between
// the input and the output, `output` may carry a format prefix like PNG32:.
void convertRaw(const TempDir& dir, const Bytes& rgba, int width, int height,
                const std::string& options, const std::string& output) {
  const std::string raw = dir.file("raw.rgba");
  writeBytes(raw, rgba.data(), rgba.size());
  const std::string command = "convert -size " + std::to_string(width) + "x" +
                              std::to_string(height) + " -depth 8 rgba:" + shellQuote(raw) + " " +
                              options + " " + shellQuote(output);
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

Bytes randomPixels(int width, int height, unsigned seed) {
  std::mt19937 random(seed);
  Bytes bytes(static_cast<std::size_t>(width) * height * 4);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  return bytes;
}

// ------------------------------------------------------ the formula, slowly

double referenceKernel(double x) {
  const double a = std::fabs(x);
  if (a < 1) return (7.0 / 6.0) * a * a * a - 2.0 * a * a + 8.0 / 9.0;
  if (a < 2) return (-7.0 / 18.0) * a * a * a + 2.0 * a * a - (10.0 / 3.0) * a + 16.0 / 9.0;
  return 0;
}

// One output sample of one axis: `at(l)` reads source sample l.
template <typename Read>
std::uint8_t referenceSample(int i, int source, int target, Read at) {
  const double s = static_cast<double>(target) / source;
  const double radius = s < 1 ? 2 / s : 2;
  const double g = std::min(s, 1.0);
  const double c = (i + 0.5) / s - 0.5;
  int lo = std::max(0, static_cast<int>(std::floor(c - radius)));
  const int hi = std::min(source - 1, static_cast<int>(std::ceil(c + radius)));
  if (hi - lo + 1 > 2 * static_cast<int>(std::ceil(radius)) + 1) ++lo;
  std::vector<double> w;
  double total = 0;
  for (int l = lo; l <= hi; ++l) {
    w.push_back(referenceKernel((c - l) * g) * g);
    total += w.back();
  }
  double sum = 0;
  for (int l = lo; l <= hi; ++l) sum += (total > 0 ? w[l - lo] / total : w[l - lo]) * at(l);
  const double v = sum + 0.5;
  return static_cast<std::uint8_t>(std::clamp(static_cast<int>(v), 0, 255));
}

Bytes referenceHorizontal(const Bytes& src, int sw, int h, int tw) {
  Bytes out(static_cast<std::size_t>(tw) * h * 4);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < tw; ++x)
      for (int ch = 0; ch < 4; ++ch)
        out[(y * tw + x) * 4 + ch] = referenceSample(
            x, sw, tw, [&](int l) { return src[(static_cast<std::size_t>(y) * sw + l) * 4 + ch]; });
  return out;
}

Bytes referenceVertical(const Bytes& src, int w, int sh, int th) {
  Bytes out(static_cast<std::size_t>(w) * th * 4);
  for (int y = 0; y < th; ++y)
    for (int x = 0; x < w; ++x)
      for (int ch = 0; ch < 4; ++ch)
        out[(y * w + x) * 4 + ch] = referenceSample(
            y, sh, th, [&](int l) { return src[(static_cast<std::size_t>(l) * w + x) * 4 + ch]; });
  return out;
}

Bytes referenceResize(const Bytes& src, int sw, int sh, int tw, int th) {
  if (static_cast<long>(sw) * th < static_cast<long>(sh) * tw)
    return referenceHorizontal(referenceVertical(src, sw, sh, th), sw, th, tw);
  return referenceVertical(referenceHorizontal(src, sw, sh, tw), tw, sh, th);
}

// ------------------------------------------------------------------ table

TEST(ImageTableTest, CreateFillsTransparentOrOpaqueColour) {
  ImageTable table;
  const Image* clear = table.create(0, 3, 2, 32, -1);
  ASSERT_NE(clear, nullptr);
  EXPECT_EQ(clear->rgba, Bytes(3 * 2 * 4, 0));
  EXPECT_EQ(clear->pointWidth, 3);
  EXPECT_EQ(clear->pointHeight, 2);

  const Image* red = table.create(1, 2, 2, 32, 0x332211);  // 0xBBGGRR
  ASSERT_NE(red, nullptr);
  for (int p = 0; p < 4; ++p) {
    EXPECT_EQ((Bytes(red->rgba.begin() + 4 * p, red->rgba.begin() + 4 * p + 4)),
              (Bytes{0x11, 0x22, 0x33, 255}));
  }
  EXPECT_EQ(table.create(2, 0, 5, 32, -1), nullptr);
  EXPECT_FALSE(table.exists(2));
}

TEST(ImageTableTest, CopyIsIndependentAndFreeAllEmptiesTheTable) {
  ImageTable table;
  table.create(3, 4, 4, 32, 0x0000FF);
  const Image* copied = table.copy(3, 4);
  ASSERT_NE(copied, nullptr);
  table.mutableImage(3)->rgba[0] = 7;
  EXPECT_EQ(copied->rgba[0], 0xFF);
  EXPECT_EQ(table.copy(9, 5), nullptr);
  EXPECT_FALSE(table.exists(5));

  table.free(-1);
  for (int n = 0; n < 6; ++n) EXPECT_FALSE(table.exists(n)) << n;
  EXPECT_EQ(table.platformImage(3), nullptr);
}

TEST(ImageTableTest, SetSizeKeepsPixelsAndDrawingBumpsGeneration) {
  ImageTable table;
  table.create(0, 8, 6, 32, -1);
  table.setSize(0, 2, 1.5);
  const Image* image = table.platformImage(0);
  EXPECT_EQ(image->width, 8);
  EXPECT_EQ(image->pointWidth, 2);
  EXPECT_EQ(image->pointHeight, 1.5);

  const auto before = image->generation;
  ASSERT_TRUE(table.beginDrawing(0));
  EXPECT_EQ(table.drawingPitch(), 32);
  EXPECT_EQ(table.drawingHeight(), 6);
  table.drawingBuffer()[5] = 42;
  table.endDrawing();
  EXPECT_EQ(image->rgba[5], 42);
  EXPECT_NE(image->generation, before);
  EXPECT_FALSE(table.beginDrawing(1));
  EXPECT_EQ(table.drawingBuffer(), nullptr);
}

TEST(ImageTableTest, ResizeToTheSameSizeOrOfAMultiFrameImage) {
  ImageTable table;
  table.create(2, 16, 9, 32, 0x123456);
  const auto generation = table.platformImage(2)->generation;
  EXPECT_TRUE(table.resize(2, NotGiven, 9, 0));
  EXPECT_EQ(table.platformImage(2)->generation, generation);

  EXPECT_TRUE(table.resize(2, NotGiven, 4, 0));
  EXPECT_EQ(table.platformImage(2)->width, 16);
  EXPECT_EQ(table.platformImage(2)->height, 4);

  table.mutableImage(2)->frames = 2;
  EXPECT_FALSE(table.resize(2, 8, 8, 0));
  EXPECT_FALSE(table.resize(7, 8, 8, 0));
}

TEST(ImageTableTest, NearestPixelUsesTheFixedPointStep) {
  ImageTable table;
  Image* image = const_cast<Image*>(table.create(0, 5, 1, 32, -1));
  for (int x = 0; x < 5; ++x) image->rgba[4 * x] = static_cast<std::uint8_t>(10 * x);
  ASSERT_TRUE(table.resize(0, 2, 1, 1));
  // step = 65536 * 5 / 2; sources (step/2) >> 16 = 1 and (step/2 + step) >> 16 = 3.
  EXPECT_EQ(table.platformImage(0)->rgba[0], 10);
  EXPECT_EQ(table.platformImage(0)->rgba[4], 30);
}

struct ResizeCase {
  int sw, sh, tw, th;
};

class SmoothResizeTest : public ::testing::TestWithParam<ResizeCase> {};

TEST_P(SmoothResizeTest, UniformColourStaysExactlyThatColour) {
  const auto c = GetParam();
  ImageTable table;
  Image* image = const_cast<Image*>(table.create(2, c.sw, c.sh, 32, 0x5A10F3));
  for (std::size_t i = 3; i < image->rgba.size(); i += 4) image->rgba[i] = 77;
  ASSERT_TRUE(table.resize(2, c.tw, c.th, 0));
  const Image* out = table.platformImage(2);
  ASSERT_EQ(out->width, c.tw);
  ASSERT_EQ(out->height, c.th);
  for (std::size_t i = 0; i < out->rgba.size(); i += 4) {
    ASSERT_EQ((Bytes(out->rgba.begin() + i, out->rgba.begin() + i + 4)),
              (Bytes{0xF3, 0x10, 0x5A, 77}))
        << "pixel " << i / 4;
  }
}

TEST_P(SmoothResizeTest, MatchesTheFormulaPixelForPixel) {
  const auto c = GetParam();
  const Bytes source = randomPixels(c.sw, c.sh, static_cast<unsigned>(c.sw * 31 + c.th));
  ImageTable table;
  table.create(2, c.sw, c.sh, 32, -1);
  table.mutableImage(2)->rgba = source;
  ASSERT_TRUE(table.resize(2, c.tw, c.th, 0));
  const Bytes expected = referenceResize(source, c.sw, c.sh, c.tw, c.th);
  const Bytes& actual = table.platformImage(2)->rgba;
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < actual.size(); ++i) {
    ASSERT_EQ(actual[i], expected[i]) << "byte " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, SmoothResizeTest,
                         ::testing::Values(ResizeCase{256, 256, 128, 128},
                                           ResizeCase{640, 640, 268, 268},
                                           ResizeCase{37, 11, 5, 40},    // vertical pass first
                                           ResizeCase{9, 30, 23, 7},     // horizontal first
                                           ResizeCase{3, 3, 17, 17},     // enlarge past edges
                                           ResizeCase{300, 2, 1, 1}));   // huge radius

// ------------------------------------------------------------------ loader

TEST(ImageLoaderTest, PngAlphaComesBackNotPremultiplied) {
  TempDir dir;
  const Bytes rgba = {200, 100, 50, 128, 255, 255, 255, 0, 10, 20, 30, 255,
                      0,   0,   0,  1,   90,  180, 240, 64, 1, 2, 3, 254};
  convertRaw(dir, rgba, 3, 2, "", "PNG32:" + dir.file("alpha.png"));
  ImageTable table;
  const Image* image = loadImageFile(table, 0, dir.file("alpha.png"));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->width, 3);
  EXPECT_EQ(image->height, 2);
  EXPECT_EQ(image->rgba, rgba);
}

struct PngVariant {
  const char* name;
  std::string options;
  std::string prefix;
  bool keepsAlpha;
};

class PngVariantTest : public ::testing::TestWithParam<PngVariant> {};

TEST_P(PngVariantTest, DecodesToEightBitRgba) {
  const auto v = GetParam();
  TempDir dir;
  // Grey levels with full or zero alpha survive every PNG colour type.
  Bytes rgba;
  for (int i = 0; i < 6; ++i) {
    const auto level = static_cast<std::uint8_t>(i * 51);
    rgba.insert(rgba.end(), {level, level, level, static_cast<std::uint8_t>(i == 2 ? 0 : 255)});
  }
  const std::string path = dir.file("variant.png");
  convertRaw(dir, rgba, 3, 2, v.options, v.prefix + path);
  ImageTable table;
  const Image* image = loadImageFile(table, 1, path);
  ASSERT_NE(image, nullptr);
  ASSERT_EQ(image->rgba.size(), rgba.size());
  for (std::size_t i = 0; i < rgba.size(); ++i) {
    if (i % 4 == 3 && !v.keepsAlpha) {
      EXPECT_EQ(image->rgba[i], 255) << i;
    } else if (rgba[i | 3] != 0 || i % 4 == 3) {  // colour under zero alpha is free
      EXPECT_EQ(image->rgba[i], rgba[i]) << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    ColourTypes, PngVariantTest,
    ::testing::Values(PngVariant{"Palette", "", "PNG8:", true},
                      PngVariant{"Grey", "-alpha off -define png:color-type=0", "PNG:", false},
                      PngVariant{"GreyAlpha", "-define png:color-type=4", "PNG:", true},
                      PngVariant{"Rgb16", "-alpha off -depth 16", "PNG48:", false},
                      PngVariant{"Rgba16", "-depth 16", "PNG64:", true}),
    [](const auto& variant) { return std::string(variant.param.name); });

TEST(ImageLoaderTest, JpegDeclaredAt144DpiKeepsItsPixelSize) {
  TempDir dir;
  const std::string path = dir.file("hires.jpeg");
  convertRaw(dir, Bytes(40 * 30 * 4, 200), 40, 30, "-density 144 -units PixelsPerInch", path);
  ImageTable table;
  const Image* image = loadImageFile(table, 3, path);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->width, 40);
  EXPECT_EQ(image->height, 30);
  EXPECT_EQ(image->pointWidth, 40);
  EXPECT_EQ(image->rgba[3], 255);
}

TEST(ImageLoaderTest, GreyJpegBecomesOpaqueRgba) {
  TempDir dir;
  const std::string path = dir.file("grey.jpeg");
  convertRaw(dir, Bytes(8 * 8 * 4, 128), 8, 8, "-colorspace Gray", path);
  ImageTable table;
  const Image* image = loadImageFile(table, 4, path);
  ASSERT_NE(image, nullptr);
  EXPECT_NEAR(image->rgba[0], 128, 2);
  EXPECT_EQ(image->rgba[0], image->rgba[1]);
  EXPECT_EQ(image->rgba[3], 255);
}

std::uint32_t crc32(const std::string& bytes) {
  std::uint32_t crc = 0xFFFFFFFF;
  for (unsigned char b : bytes) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

std::string bigEndian(std::uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}

// A PNG header claiming 10000 x 10000 pixels (100 megapixels), no data.
std::string hugePngHeader() {
  const std::string ihdr = "IHDR" + bigEndian(10000) + bigEndian(10000) + std::string("\x08\x06\0\0\0", 5);
  return std::string("\x89PNG\r\n\x1a\n", 8) + bigEndian(13) + ihdr + bigEndian(crc32(ihdr));
}

enum class Damage { Missing, Empty, Text, TruncatedPng, TruncatedJpeg, HugePng };

class UnreadableFileTest : public ::testing::TestWithParam<Damage> {};

TEST_P(UnreadableFileTest, AnswersNullAndLeavesNoSlot) {
  TempDir dir;
  const std::string path = dir.file("broken");
  const Bytes pixels = randomPixels(64, 64, 5);
  std::string bytes;
  switch (GetParam()) {
    case Damage::Missing:
      break;
    case Damage::Empty:
      writeBytes(path, "", 0);
      break;
    case Damage::Text:
      writeBytes(path, "<html>not found</html>", 22);
      break;
    case Damage::TruncatedPng:
    case Damage::TruncatedJpeg: {
      const std::string whole = dir.file("whole");
      convertRaw(dir, pixels, 64, 64, "-quality 95",
                 (GetParam() == Damage::TruncatedPng ? "PNG32:" : "JPEG:") + whole);
      std::ifstream in(whole, std::ios::binary);
      bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      writeBytes(path, bytes.data(), bytes.size() / 2);
      break;
    }
    case Damage::HugePng:
      bytes = hugePngHeader();
      writeBytes(path, bytes.data(), bytes.size());
      break;
  }
  ImageTable table;
  EXPECT_EQ(loadImageFile(table, 3, path), nullptr);
  EXPECT_FALSE(table.exists(3));
}

INSTANTIATE_TEST_SUITE_P(Files, UnreadableFileTest,
                         ::testing::Values(Damage::Missing, Damage::Empty, Damage::Text,
                                           Damage::TruncatedPng, Damage::TruncatedJpeg,
                                           Damage::HugePng));

}  // namespace
}  // namespace larkspur
