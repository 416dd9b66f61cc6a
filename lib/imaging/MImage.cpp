#include "lib/imaging/MImage.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

#include "lib/core/MString.h"

namespace {
// Pixel count of a valid size; the caller has checked both are positive.
inline size_t pixelCount(int _width, int _height) { return (size_t)_width * (size_t)_height; }

inline bool isTransparentValue(uint _value) { return _value >= 0x01000000u; }
}  // namespace

uint* MImage::allocatePixels(int _width, int _height) {
  if (_width <= 0 || _height <= 0) return nullptr;
  size_t count = pixelCount(_width, _height);
  if (count > SIZE_MAX / sizeof(uint)) return nullptr;
  return new (std::nothrow) uint[count];
}

void MImage::releasePixels(uint* _pixels) { delete[] _pixels; }

int MImage::previewWidth(int _width, int _height, int _previewHeight) {
  if (_width <= 0 || _height <= 0 || _previewHeight <= 0) return 1;
  float scale = (float)_height / (float)_previewHeight;
  float width = (float)_width / scale;
  if (!(width >= 1.0f)) return 1;
  if (width >= (float)MAX_JPEG_DIMENSION) return MAX_JPEG_DIMENSION;
  return (int)width;
}

int MImage::sampleIndex(int _target, int _targetSize, int _sourceSize) {
  int index = (int)(_target * ((double)_sourceSize / (double)_targetSize));
  return index < _sourceSize ? index : _sourceSize - 1;  // guards against rounding only
}

void MImage::sample(const uint* _source, int _sourceWidth, int _sourceHeight, uint* _target,
                    int _width, int _height) {
  uint* out = _target;
  for (int y = 0; y < _height; ++y) {
    const uint* row = _source + pixelCount(_sourceWidth, sampleIndex(y, _height, _sourceHeight));
    for (int x = 0; x < _width; ++x) *out++ = row[sampleIndex(x, _width, _sourceWidth)];
  }
}

MImage::MImage()
    : width(0), height(0), pixels(nullptr), transparent(false), transparencyDirty(false) {}

MImage::MImage(int _width, int _height)
    : width(_width), height(_height), pixels(nullptr), transparent(false),
      transparencyDirty(false) {
  if (_width > 0 && _height > 0) {
    pixels = allocatePixels(_width, _height);
    if (pixels == nullptr) {
      width = 0;  // no memory: an empty image, which reports no size it cannot serve
      height = 0;
    } else {
      memset(pixels, 0, pixelCount(_width, _height) * sizeof(uint));
    }
  }
}

MImage::MImage(const MImage& _other)
    : MImageSurface(_other), width(0), height(0), pixels(nullptr), transparent(false),
      transparencyDirty(false) {
  copyFrom(_other);
}

MImage::MImage(MImageSurface& _source, int _width, int _height)
    : width(_width), height(_height), pixels(nullptr), transparent(false),
      transparencyDirty(false) {
  if (_width <= 0 || _height <= 0) return;
  pixels = allocatePixels(_width, _height);
  if (pixels == nullptr) {
    width = 0;
    height = 0;
    return;
  }
  int sw = _source.getWidth();
  int sh = _source.getHeight();
  double xStep = (double)sw / (double)_width;
  double yStep = (double)sh / (double)_height;
  uint* out = pixels;
  for (int y = 0; y < _height; ++y) {
    int sy = (int)(y * yStep);
    for (int x = 0; x < _width; ++x) *out++ = _source.getPixel((int)(x * xStep), sy);
  }
  transparencyDirty = true;
}

MImage& MImage::operator=(const MImage& _other) {
  if (this != &_other) {
    MImage copy(_other);
    std::swap(width, copy.width);
    std::swap(height, copy.height);
    std::swap(pixels, copy.pixels);
    std::swap(transparent, copy.transparent);
    std::swap(transparencyDirty, copy.transparencyDirty);
  }
  return *this;
}

void MImage::copyFrom(const MImage& _other) {
  width = _other.width;
  height = _other.height;
  if (width <= 0 || height <= 0) return;
  pixels = allocatePixels(width, height);
  if (pixels == nullptr) {
    width = 0;
    height = 0;
    return;
  }
  // An image with a positive size always has its pixels.
  memcpy(pixels, _other.pixels, pixelCount(width, height) * sizeof(uint));
  transparent = _other.transparent;
  transparencyDirty = _other.transparencyDirty;
}

MImage::~MImage() { releasePixels(pixels); }

MObject* MImage::newObject() { return new MImage(); }

MObject* MImage::duplicate() { return new MImage(*this); }

uchar MImage::getType() { return 31; }

MString MImage::getTypeName() { return MString("MImage"); }

bool MImage::isKindOf(const char* _name) {
  return (_name && strcmp(_name, "MImage") == 0) || MImageSurface::isKindOf(_name);
}

bool MImage::isKindOf(uchar _type) { return _type == 31 || MImageSurface::isKindOf(_type); }

MString MImage::toString() {
  return MString::format("MImage:%llu:%d:%d", (unsigned long long)identity(), width, height);
}

int MImage::getStreamSize() {
  Int64 size = 9;
  if (pixels != nullptr) size += 4 * (Int64)width * (Int64)height;
  return size > INT_MAX ? INT_MAX : (int)size;
}

void MImage::readStream(MInputStream* _stream) {}

void MImage::writeStream(MOutputStream* _stream) {}

void MImage::print(FILE* _file, int _indent) {
  fprintf(_file, "IMAGE %d %d\n", width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) fprintf(_file, "(%d,%d) %06x\n", x, y, getPixel(x, y));
  }
}

int MImage::getWidth() { return width; }

int MImage::getHeight() { return height; }

uint MImage::getPixel(int _x, int _y) {
  if (pixels == nullptr || _x < 0 || _x >= width || _y < 0 || _y >= height) return OUTSIDE;
  return pixels[pixelCount(width, _y) + _x];
}

void MImage::setPixel(int _x, int _y, uint _value) {
  if (pixels == nullptr || _x < 0 || _x >= width || _y < 0 || _y >= height) return;
  uint& pixel = pixels[pixelCount(width, _y) + _x];
  // Overwriting the (perhaps only) transparent pixel leaves the answer open.
  if (isTransparentValue(pixel) && !isTransparentValue(_value)) transparencyDirty = true;
  pixel = _value;
  if (isTransparentValue(_value)) transparent = true;
}

void MImage::fill(uint _value) {
  if (pixels == nullptr) return;
  for (size_t i = 0, n = pixelCount(width, height); i < n; ++i) pixels[i] = _value;
  transparent = isTransparentValue(_value);
  transparencyDirty = false;
}

bool MImage::hasTransparency() {
  if (transparencyDirty) {
    transparent = false;
    if (pixels != nullptr) {
      for (size_t i = 0, n = pixelCount(width, height); i < n; ++i) {
        if (isTransparentValue(pixels[i])) {
          transparent = true;
          break;
        }
      }
    }
    transparencyDirty = false;
  }
  return transparent;
}

void MImage::mirror() {
  if (pixels == nullptr) return;
  for (int y = 0; y < height; ++y) {
    uint* row = pixels + pixelCount(width, y);
    for (int x = 0; x < width / 2; ++x) std::swap(row[x], row[width - 1 - x]);
  }
}

void MImage::flip() {
  if (pixels == nullptr) return;
  for (int y = 0; y < height / 2; ++y) {
    uint* top = pixels + pixelCount(width, y);
    uint* bottom = pixels + pixelCount(width, height - 1 - y);
    for (int x = 0; x < width; ++x) std::swap(top[x], bottom[x]);
  }
}

uint* MImage::getData() { return pixels; }

bool MImage::isTransparent(int _x, int _y) {
  if (pixels == nullptr || _x < 0 || _x >= width || _y < 0 || _y >= height) return false;
  return isTransparentValue(pixels[pixelCount(width, _y) + _x]);
}

void MImage::rotateLeft() {
  if (pixels == nullptr) return;
  uint* turned = allocatePixels(height, width);
  if (turned == nullptr) return;  // no memory: the image stays as it was
  // New row r is the old column width-1-r, from the old top row down.
  uint* out = turned;
  for (int r = 0; r < width; ++r) {
    for (int y = 0; y < height; ++y) *out++ = pixels[pixelCount(width, y) + (width - 1 - r)];
  }
  releasePixels(pixels);
  pixels = turned;
  std::swap(width, height);
}

void MImage::rotateRight() {
  if (pixels == nullptr) return;
  uint* turned = allocatePixels(height, width);
  if (turned == nullptr) return;
  // New row r is the old column r, from the old bottom row up.
  uint* out = turned;
  for (int r = 0; r < width; ++r) {
    for (int y = height - 1; y >= 0; --y) *out++ = pixels[pixelCount(width, y) + r];
  }
  releasePixels(pixels);
  pixels = turned;
  std::swap(width, height);
}

void MImage::scale(MImage& _source, int _width, int _height) {
  if (_width <= 0 || _height <= 0) return;
  if (&_source == this) {
    // Releasing our pixels first would lose the very picture to be scaled.
    resize(_width, _height);
    return;
  }
  releasePixels(pixels);
  pixels = nullptr;
  // An image without pixels reports no size: nothing may read the pixels it no longer has.
  width = 0;
  height = 0;
  transparent = false;
  transparencyDirty = false;
  const uint* source = _source.getData();
  if (source == nullptr) {
    fprintf(stderr, "ERROR: Image data pointer is NULL!\n");
    return;
  }
  uint* target = allocatePixels(_width, _height);
  if (target == nullptr) {
    fprintf(stderr, "ERROR: Cannot allocate %d x %d pixels!\n", _width, _height);
    return;
  }
  sample(source, _source.getWidth(), _source.getHeight(), target, _width, _height);
  pixels = target;
  width = _width;
  height = _height;
  transparencyDirty = true;
}

void MImage::setData(int _width, int _height, uint* _pixels) {
  if (_width <= 0 || _height <= 0 || _pixels == nullptr) return;
  if (_pixels != pixels) releasePixels(pixels);
  pixels = _pixels;
  width = _width;
  height = _height;
  transparencyDirty = true;
}

void MImage::resize(int _width, int _height) {
  if (_width < 1 || _height < 1) return;
  uint* target = allocatePixels(_width, _height);
  if (target == nullptr) return;  // no memory: the image stays as it was
  if (pixels != nullptr) {
    sample(pixels, width, height, target, _width, _height);
    releasePixels(pixels);
  } else {
    for (size_t i = 0, n = pixelCount(_width, _height); i < n; ++i) target[i] = EMPTY_FILL;
  }
  pixels = target;
  width = _width;
  height = _height;
  transparencyDirty = true;
}
