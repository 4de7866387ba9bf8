#include "platform/image_table.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "platform/event_queue.h"

namespace larkspur {

namespace {

// One counter for the whole program, so a replaced slot never repeats the
// generation of the image it replaced.
std::uint64_t nextGeneration() {
  static std::atomic<std::uint64_t> counter{0};
  return ++counter;
}

std::unique_ptr<Image> makeImage(int width, int height, int depth) {
  if (width <= 0 || height <= 0 || width > ImageTable::MaxDimension ||
      height > ImageTable::MaxDimension) {
    return nullptr;
  }
  auto image = std::unique_ptr<Image>(new (std::nothrow) Image);
  if (!image) return nullptr;
  try {
    image->rgba.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  image->width = width;
  image->height = height;
  image->pointWidth = width;
  image->pointHeight = height;
  image->requestedDepth = depth;
  image->generation = nextGeneration();
  return image;
}

void fill(Image& image, std::int32_t background) {
  if (background == -1) {
    std::fill(image.rgba.begin(), image.rgba.end(), std::uint8_t{0});
    return;
  }
  const auto colour = static_cast<std::uint32_t>(background);
  const std::uint8_t pixel[4] = {static_cast<std::uint8_t>(colour & 0xFF),
                                 static_cast<std::uint8_t>((colour >> 8) & 0xFF),
                                 static_cast<std::uint8_t>((colour >> 16) & 0xFF), 255};
  for (std::size_t i = 0; i < image.rgba.size(); i += 4) std::memcpy(&image.rgba[i], pixel, 4);
}

// ---------------------------------------------------------------- smooth

// Mitchell-Netravali with B = C = 1/3.
double mitchell(double x) {
  const double a = std::fabs(x);
  if (a < 1) return (7.0 / 6.0) * a * a * a - 2.0 * a * a + 8.0 / 9.0;
  if (a < 2) return (-7.0 / 18.0) * a * a * a + 2.0 * a * a - (10.0 / 3.0) * a + 16.0 / 9.0;
  return 0;
}

// The taps of every target sample along one axis, computed once per resize
// so the pixel loops only multiply and add.
struct Contributors {
  int stride = 0;               // room for the widest tap list
  std::vector<int> first;       // first source index per target sample
  std::vector<int> count;       // taps per target sample
  std::vector<double> weights;  // stride per target sample

  const double* weightsOf(int i) const { return weights.data() + static_cast<std::size_t>(i) * stride; }
};

void addSample(Contributors& axis, int i, int source, double scale, double radius) {
  const double g = std::min(scale, 1.0);
  const double c = (i + 0.5) / scale - 0.5;
  int first = std::max(0, static_cast<int>(std::floor(c - radius)));
  const int last = std::min(source - 1, static_cast<int>(std::ceil(c + radius)));
  while (last - first + 1 > axis.stride) ++first;
  double* w = axis.weights.data() + static_cast<std::size_t>(i) * axis.stride;
  double sum = 0;
  for (int l = first; l <= last; ++l) {
    w[l - first] = mitchell((c - l) * g) * g;
    sum += w[l - first];
  }
  if (sum > 0) {
    for (int l = first; l <= last; ++l) w[l - first] /= sum;
  }
  axis.first[i] = first;
  axis.count[i] = last - first + 1;
}

Contributors contributors(int source, int target) {
  Contributors axis;
  const double scale = static_cast<double>(target) / source;
  const double radius = scale < 1 ? 2 / scale : 2;
  axis.stride = 2 * static_cast<int>(std::ceil(radius)) + 1;
  axis.first.resize(target);
  axis.count.resize(target);
  axis.weights.assign(static_cast<std::size_t>(target) * axis.stride, 0.0);
  for (int i = 0; i < target; ++i) addSample(axis, i, source, scale, radius);
  return axis;
}

// Weighted sum + 0.5, truncated and clamped. The intermediate image keeps
// these integers in floats, which hold them exactly.
template <typename Out>
inline Out quantise(double sum) {
  const double v = sum + 0.5;
  if (!(v > 0)) return 0;
  if (v >= 255) return 255;
  return static_cast<Out>(static_cast<int>(v));
}

template <typename In, typename Out>
void horizontalPass(const In* src, int srcWidth, int height, Out* dst, const Contributors& axis) {
  const int dstWidth = static_cast<int>(axis.first.size());
  for (int y = 0; y < height; ++y) {
    const In* row = src + static_cast<std::size_t>(y) * srcWidth * 4;
    Out* out = dst + static_cast<std::size_t>(y) * dstWidth * 4;
    for (int x = 0; x < dstWidth; ++x) {
      const double* w = axis.weightsOf(x);
      const In* p = row + static_cast<std::size_t>(axis.first[x]) * 4;
      double r = 0, g = 0, b = 0, a = 0;
      for (int k = 0, n = axis.count[x]; k < n; ++k, p += 4) {
        r += w[k] * p[0];
        g += w[k] * p[1];
        b += w[k] * p[2];
        a += w[k] * p[3];
      }
      out[4 * x] = quantise<Out>(r);
      out[4 * x + 1] = quantise<Out>(g);
      out[4 * x + 2] = quantise<Out>(b);
      out[4 * x + 3] = quantise<Out>(a);
    }
  }
}

// Row at a time, so the inner loop runs along memory; each element still
// sums its taps in the same order as the horizontal pass does.
template <typename In, typename Out>
void verticalPass(const In* src, int width, Out* dst, const Contributors& axis,
                  std::vector<double>& acc) {
  const std::size_t rowLength = static_cast<std::size_t>(width) * 4;
  const int dstHeight = static_cast<int>(axis.first.size());
  for (int y = 0; y < dstHeight; ++y) {
    std::fill(acc.begin(), acc.end(), 0.0);
    const double* w = axis.weightsOf(y);
    for (int k = 0, n = axis.count[y]; k < n; ++k) {
      const In* row = src + static_cast<std::size_t>(axis.first[y] + k) * rowLength;
      const double wk = w[k];
      for (std::size_t e = 0; e < rowLength; ++e) acc[e] += wk * row[e];
    }
    Out* out = dst + static_cast<std::size_t>(y) * rowLength;
    for (std::size_t e = 0; e < rowLength; ++e) out[e] = quantise<Out>(acc[e]);
  }
}

}  // namespace

bool resampleSmooth(const std::uint8_t* src, int srcWidth, int srcHeight, std::uint8_t* dst,
                    int dstWidth, int dstHeight) {
  try {
    const Contributors across = contributors(srcWidth, dstWidth);
    const Contributors down = contributors(srcHeight, dstHeight);
    const bool verticalFirst = static_cast<std::int64_t>(srcWidth) * dstHeight <
                               static_cast<std::int64_t>(srcHeight) * dstWidth;
    const int midWidth = verticalFirst ? srcWidth : dstWidth;
    const int midHeight = verticalFirst ? dstHeight : srcHeight;
    std::vector<float> mid(static_cast<std::size_t>(midWidth) * midHeight * 4);
    std::vector<double> acc(static_cast<std::size_t>(std::max(srcWidth, dstWidth)) * 4);
    if (verticalFirst) {
      verticalPass(src, srcWidth, mid.data(), down, acc);
      horizontalPass(mid.data(), midWidth, midHeight, dst, across);
    } else {
      horizontalPass(src, srcWidth, srcHeight, mid.data(), across);
      acc.resize(static_cast<std::size_t>(dstWidth) * 4);
      verticalPass(mid.data(), midWidth, dst, down, acc);
    }
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

void resampleNearest(const std::uint8_t* src, int srcWidth, int srcHeight, std::uint8_t* dst,
                     int dstWidth, int dstHeight) {
  const std::int64_t stepX = 65536LL * srcWidth / dstWidth;
  const std::int64_t stepY = 65536LL * srcHeight / dstHeight;
  for (int y = 0; y < dstHeight; ++y) {
    const std::int64_t sy = (stepY / 2 + y * stepY) >> 16;
    const std::uint8_t* row = src + static_cast<std::size_t>(sy) * srcWidth * 4;
    std::uint8_t* out = dst + static_cast<std::size_t>(y) * dstWidth * 4;
    for (int x = 0; x < dstWidth; ++x) {
      const std::int64_t sx = (stepX / 2 + x * stepX) >> 16;
      std::memcpy(out + 4 * x, row + 4 * sx, 4);
    }
  }
}

// ---------------------------------------------------------------- table

const Image* ImageTable::create(int number, int width, int height, int depth,
                                std::int32_t background) {
  free(number);
  auto image = makeImage(width, height, depth);
  if (!image) return nullptr;
  fill(*image, background);
  return (slots_[number] = std::move(image)).get();
}

const Image* ImageTable::copy(int source, int number) {
  const Image* from = platformImage(source);
  if (!from) return nullptr;
  auto image = makeImage(from->width, from->height, from->requestedDepth);
  if (!image) {
    free(number);
    return nullptr;
  }
  image->rgba = from->rgba;
  if (drawing_ == number) drawing_ = -1;
  return (slots_[number] = std::move(image)).get();
}

bool ImageTable::resize(int number, int width, int height, int mode) {
  Image* image = mutableImage(number);
  if (!image || image->frames != 1) return false;
  if (width == NotGiven) width = image->width;
  if (height == NotGiven) height = image->height;
  if (width == image->width && height == image->height) return true;
  auto resized = makeImage(width, height, image->requestedDepth);
  if (!resized) return false;
  if (mode & 1) {
    resampleNearest(image->rgba.data(), image->width, image->height, resized->rgba.data(), width,
                    height);
  } else if (!resampleSmooth(image->rgba.data(), image->width, image->height,
                             resized->rgba.data(), width, height)) {
    return false;
  }
  if (drawing_ == number) drawing_ = -1;
  slots_[number] = std::move(resized);
  return true;
}

void ImageTable::free(int number) {
  if (number == -1) {
    slots_.clear();
    drawing_ = -1;
    return;
  }
  if (drawing_ == number) drawing_ = -1;
  slots_.erase(number);
}

bool ImageTable::exists(int number) const { return slots_.count(number) != 0; }

const Image* ImageTable::platformImage(int number) const {
  const auto it = slots_.find(number);
  return it == slots_.end() ? nullptr : it->second.get();
}

Image* ImageTable::mutableImage(int number) {
  const auto it = slots_.find(number);
  return it == slots_.end() ? nullptr : it->second.get();
}

void ImageTable::setSize(int number, double pointWidth, double pointHeight) {
  if (Image* image = mutableImage(number)) {
    image->pointWidth = pointWidth;
    image->pointHeight = pointHeight;
  }
}

bool ImageTable::beginDrawing(int number) {
  if (!exists(number)) return false;
  drawing_ = number;
  return true;
}

std::uint8_t* ImageTable::drawingBuffer() const {
  const auto it = slots_.find(drawing_);
  return it == slots_.end() ? nullptr : it->second->rgba.data();
}

int ImageTable::drawingPitch() const {
  const Image* image = platformImage(drawing_);
  return image ? image->width * 4 : 0;
}

int ImageTable::drawingWidth() const {
  const Image* image = platformImage(drawing_);
  return image ? image->width : 0;
}

int ImageTable::drawingHeight() const {
  const Image* image = platformImage(drawing_);
  return image ? image->height : 0;
}

void ImageTable::endDrawing() {
  if (Image* image = mutableImage(drawing_)) image->generation = nextGeneration();
  drawing_ = -1;
}

}  // namespace larkspur
