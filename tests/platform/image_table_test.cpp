#include "platform/image_table.h"

#include <gtest/gtest.h>

#include <array>
#include <tuple>
#include <cstdlib>
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

// A flat colour stays exactly that colour at any size, however far the
// filter reaches past the edges; dark on the left stays on the left.
TEST(SmoothResize, KeepsFlatColoursExactAndTheImageTheRightWayRound) {
  auto pattern = [](int w, int h, auto byte) {
    Bytes rgba(static_cast<std::size_t>(w) * h * 4);
    for (std::size_t i = 0; i < rgba.size(); ++i) rgba[i] = byte(i);
    return rgba;
  };
  auto resized = [&](int sw, int sh, int tw, int th, auto byte) {
    ImageTable table;
    table.create(2, sw, sh, 32, -1);
    table.mutableImage(2)->rgba = pattern(sw, sh, byte);
    EXPECT_TRUE(table.resize(2, tw, th, 0));
    return table.platformImage(2) ? *table.platformImage(2) : Image{};
  };
  auto flat = [](std::size_t i) { return std::array<std::uint8_t, 4>{10, 200, 30, 255}[i % 4]; };
  for (auto [sw, sh, tw, th] : {std::array{640, 640, 268, 268}, {37, 11, 5, 40}, {3, 3, 17, 17}, {300, 2, 1, 1}}) {
    const Image out = resized(sw, sh, tw, th, flat);
    EXPECT_EQ(std::tuple(out.width, out.height, out.rgba), std::tuple(tw, th, pattern(tw, th, flat)))
        << sw << "x" << sh << " to " << tw << "x" << th;
  }
  const Bytes out = resized(40, 20, 10, 30, [](std::size_t i) { return (i / 4) % 40 < 20 ? 0 : 255; }).rgba;
  EXPECT_EQ(out.at(4 * 150) + 1000 * out.at(4 * 159), 255000);  // row 15: black, then white
}

// ------------------------------------------------------------------ loader

// PNG alpha comes back not premultiplied; a grey JPEG declared at 144 dpi
// keeps its pixel size and becomes opaque RGBA.
TEST(ImageLoader, ReadsPngAlphaAsItIsAndGreyJpegAsOpaqueRgbaAndRefusesHugeOrCutFiles) {
  TempDir dir;
  const Bytes rgba = {200, 100, 50, 128, 255, 255, 255, 0, 10, 20, 30, 255,
                      0,   0,   0,  1,   90,  180, 240, 64, 1, 2, 3, 254};
  convertRaw(dir, rgba, 3, 2, "", "PNG32:" + dir.file("alpha.png"));
  convertRaw(dir, Bytes(40 * 30 * 4, 200), 40, 30, "-colorspace Gray -density 144 -units PixelsPerInch",
             dir.file("hires.jpeg"));
  ImageTable table;
  const Image* png = loadImageFile(table, 0, dir.file("alpha.png"));
  ASSERT_NE(png, nullptr);
  EXPECT_EQ(std::pair(png->width, png->rgba), std::pair(3, rgba));
  const Image* image = loadImageFile(table, 3, dir.file("hires.jpeg"));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(std::tuple(image->width, image->height, image->pointWidth), std::tuple(40, 30, 40));
  EXPECT_NEAR(image->rgba[0], 200, 2);
  EXPECT_EQ(image->rgba[0], image->rgba[1]);
  EXPECT_EQ(image->rgba[3], 255);
  // Too large, or cut short: no image and no slot. The huge one is whole and
  // valid, but 64 million pixels and more: not even decoded.
  const std::string huge = "python3 -c \"import zlib,struct,sys; w=8001; o=zlib.compressobj(); c=lambda t,d: "
                          "struct.pack('>I',len(d))+t+d+struct.pack('>I',zlib.crc32(t+d)); sys.stdout.buffer.write("
                          "b'\\x89PNG\\r\\n\\x1a\\n'+c(b'IHDR',struct.pack('>IIBBBBB',w,w,8,6,0,0,0))+c(b'IDAT',"
                          "b''.join(o.compress(r) for r in [bytes(1+4*w)]*w)+o.flush())+c(b'IEND',b''))\" > " +
                          dir.file("huge png");
  ASSERT_EQ(std::system(huge.c_str()), 0);
  for (std::string kind : {"PNG32", "JPEG"}) {
    convertRaw(dir, Bytes(64 * 64 * 4, 90), 64, 64, "+noise Random -quality 95", kind + ":" + dir.file("whole"));
    dir.write(kind, dir.read("whole").substr(0, dir.read("whole").size() / 2));
  }
  for (std::string kind : {"huge png", "PNG32", "JPEG"}) {
    EXPECT_EQ(loadImageFile(table, 5, dir.file(kind)), nullptr) << kind;
    EXPECT_FALSE(table.exists(5)) << kind;
  }
}

}  // namespace
}  // namespace larkspur
