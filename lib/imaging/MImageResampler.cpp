#include "lib/imaging/MImageResampler.h"

#include <cmath>
#include <algorithm>
#include <new>

namespace {

// Catmull-Rom: the cubic through the neighbours' values, zero at every other whole offset,
// so that a picture kept at its size stays itself.
double catmullRom(double _x) {
  double x = std::fabs(_x);
  if (x < 1.0) return (1.5 * x - 2.5) * x * x + 1.0;
  if (x < 2.0) return ((-0.5 * x + 2.5) * x - 4.0) * x + 2.0;
  return 0.0;
}

inline uint toByte(float _value) {
  if (!(_value > 0.0f)) return 0;  // NaN too
  if (_value >= 255.0f) return 255;
  return (uint)(_value + 0.5f);
}

}  // namespace

MImageResampler::MImageResampler(int _sourceWidth, int _sourceHeight, int _width, int _height)
    : sourceWidth(_sourceWidth), sourceHeight(_sourceHeight), width(_width), height(_height) {
  identity = _sourceWidth == _width && _sourceHeight == _height;
}

void MImageResampler::plan(int _source, int _target, std::vector<Taps>& _taps,
                           std::vector<float>& _weights) {
  double scale = (double)_source / _target;
  double stretch = scale > 1.0 ? scale : 1.0;
  double reach = support * stretch;
  _taps.resize((size_t)_target);
  _weights.clear();
  std::vector<double> raw;
  for (int i = 0; i < _target; ++i) {
    double centre = (i + 0.5) * scale - 0.5;
    int first = (int)std::ceil(centre - reach);
    int last = (int)std::floor(centre + reach);
    if (first < 0) first = 0;
    if (last > _source - 1) last = _source - 1;
    raw.clear();
    double sum = 0.0;
    for (int j = first; j <= last; ++j) {
      raw.push_back(catmullRom((j - centre) / stretch));
      sum += raw.back();
    }
    // Zero weights at the ends cost work and add nothing.
    size_t from = 0, to = raw.size();
    while (to > from + 1 && raw[to - 1] == 0.0) --to;
    while (from + 1 < to && raw[from] == 0.0) ++from;
    Taps& taps = _taps[(size_t)i];
    taps.first = first + (int)from;
    taps.count = (int)(to - from);
    taps.offset = _weights.size();
    // Near the edges part of the filter falls outside the picture: the rest is normalised,
    // so that a flat area keeps its value there too. The sum is never near zero: the
    // filter's middle lobe always lies inside.
    for (size_t k = from; k < to; ++k) _weights.push_back((float)(raw[k] / sum));
  }
}

bool MImageResampler::begin() {
  if (sourceWidth <= 0 || sourceHeight <= 0 || width <= 0 || height <= 0) return false;
  uint* pixels = MImage::allocatePixels(width, height);
  if (pixels == nullptr) return false;
  image.setData(width, height, pixels);
  nextOut = 0;
  if (identity) return true;
  try {
    plan(sourceWidth, width, across, acrossWeights);
    plan(sourceHeight, height, down, downWeights);
    // Enlarging, a source row lies under the filter of many result rows: then it is cheaper
    // (and takes less memory) to filter it across first.
    downFirst = sourceHeight > height;
    ringRows = 1;
    if (downFirst) {
      // The most result rows whose filter covers one source row: their windows start and
      // end in order, so a source row lies in a run of them.
      for (int y = 0, first = 0; y < sourceHeight; ++y) {
        while (first < height && down[(size_t)first].first + down[(size_t)first].count <= y) ++first;
        int open = 0;
        for (int o = first; o < height && down[(size_t)o].first <= y; ++o) ++open;
        if (open > ringRows) ringRows = open;
      }
      ring.assign((size_t)ringRows * 3 * (size_t)sourceWidth, 0.0f);
    } else {
      for (const Taps& taps : down) {
        if (taps.count > ringRows) ringRows = taps.count;
      }
      ring.assign((size_t)ringRows * 3 * (size_t)width, 0.0f);
      sums.assign(3 * (size_t)width, 0.0f);
    }
    planes.assign(3 * (size_t)sourceWidth, 0.0f);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void MImageResampler::row(int _y, const uint* _pixels) {
  if (nextOut >= height || _y < 0 || _y >= sourceHeight) return;
  if (identity) {
    uint* out = image.getData() + (size_t)_y * (size_t)width;
    for (int x = 0; x < width; ++x) out[x] = _pixels[x] & 0x00FFFFFFu;
    nextOut = _y + 1;
    if (sink) sink(_y, out);
    return;
  }
  size_t span = (size_t)sourceWidth;
  float* red = planes.data();
  float* green = red + span;
  float* blue = green + span;
  for (size_t x = 0; x < span; ++x) {
    uint v = _pixels[x];
    red[x] = (float)((v >> 16) & 0xFF);
    green[x] = (float)((v >> 8) & 0xFF);
    blue[x] = (float)(v & 0xFF);
  }
  if (!downFirst) {
    // Across into the ring, then every result row whose last source row this was.
    float* slot = ring.data() + (size_t)(_y % ringRows) * 3 * (size_t)width;
    for (int x = 0; x < width; ++x) {
      const Taps& taps = across[(size_t)x];
      const float* w = acrossWeights.data() + taps.offset;
      float sr = 0.0f, sg = 0.0f, sb = 0.0f;
      for (int k = 0; k < taps.count; ++k) {
        sr += w[k] * red[taps.first + k];
        sg += w[k] * green[taps.first + k];
        sb += w[k] * blue[taps.first + k];
      }
      slot[x] = sr;
      slot[width + x] = sg;
      slot[2 * width + x] = sb;
    }
    while (nextOut < height && down[(size_t)nextOut].first + down[(size_t)nextOut].count - 1 <= _y) {
      emitDown(nextOut);
      ++nextOut;
    }
    return;
  }
  // Down: the row into the sums of every result row whose filter reaches it.
  for (int o = nextOut; o < height && down[(size_t)o].first <= _y; ++o) {
    const Taps& taps = down[(size_t)o];
    if (_y >= taps.first + taps.count) continue;
    float weight = downWeights[taps.offset + (size_t)(_y - taps.first)];
    float* sum = ring.data() + (size_t)(o % ringRows) * 3 * span;
    if (_y == taps.first) {
      for (size_t i = 0; i < 3 * span; ++i) sum[i] = weight * planes[i];
    } else {
      for (size_t i = 0; i < 3 * span; ++i) sum[i] += weight * planes[i];
    }
  }
  // Across: every result row whose last source row this was.
  while (nextOut < height) {
    const Taps& taps = down[(size_t)nextOut];
    if (taps.first + taps.count - 1 > _y) break;
    emit(nextOut);
    ++nextOut;
  }
}

void MImageResampler::emit(int _y) {
  size_t span = (size_t)sourceWidth;
  const float* red = ring.data() + (size_t)(_y % ringRows) * 3 * span;
  const float* green = red + span;
  const float* blue = green + span;
  uint* out = image.getData() + (size_t)_y * (size_t)width;
  for (int x = 0; x < width; ++x) {
    const Taps& taps = across[(size_t)x];
    const float* w = acrossWeights.data() + taps.offset;
    const float* r = red + taps.first;
    const float* g = green + taps.first;
    const float* b = blue + taps.first;
    float sr = 0.0f, sg = 0.0f, sb = 0.0f;
    for (int k = 0; k < taps.count; ++k) {
      sr += w[k] * r[k];
      sg += w[k] * g[k];
      sb += w[k] * b[k];
    }
    out[x] = (toByte(sr) << 16) | (toByte(sg) << 8) | toByte(sb);
  }
  if (sink) sink(_y, out);
}

void MImageResampler::emitDown(int _y) {
  const Taps& taps = down[(size_t)_y];
  const float* w = downWeights.data() + taps.offset;
  size_t span = 3 * (size_t)width;
  std::fill(sums.begin(), sums.end(), 0.0f);
  for (int k = 0; k < taps.count; ++k) {
    const float* in = ring.data() + (size_t)((taps.first + k) % ringRows) * span;
    float weight = w[k];
    for (size_t i = 0; i < span; ++i) sums[i] += weight * in[i];
  }
  uint* out = image.getData() + (size_t)_y * (size_t)width;
  for (int x = 0; x < width; ++x) {
    out[x] = (toByte(sums[(size_t)x]) << 16) | (toByte(sums[(size_t)(width + x)]) << 8) |
             toByte(sums[(size_t)(2 * width + x)]);
  }
  if (sink) sink(_y, out);
}

bool MImageResampler::scale(MImage& _source, MImage& _target, int _width, int _height) {
  int w = _source.getWidth(), h = _source.getHeight();
  const uint* pixels = _source.getData();
  if (pixels == nullptr || w <= 0 || h <= 0) return false;
  MImageResampler resampler(w, h, _width, _height);
  if (!resampler.begin()) return false;
  for (int y = 0; y < h; ++y) resampler.row(y, pixels + (size_t)y * (size_t)w);
  _target = resampler.result();
  return true;
}
