#include "lib/imaging/MJpegPreviews.h"

#include <libexif/exif-data.h>
#include <libexif/exif-loader.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "lib/core/MException.h"
#include "lib/imaging/MImage.h"
#include "lib/imaging/MJpegDecodeTarget.h"

namespace {

// How each EXIF orientation is made upright: quarter turns to the right, then a mirror
// image (left to right). The turned ones (odd turns) swap the sides.
struct Uprighting {
  int quarterTurns;
  bool mirror;
};
const Uprighting UPRIGHTING[9] = {
    {0, false},  // (no value 0: read as 1)
    {0, false},  // 1: as stored
    {0, true},   // 2: mirrored
    {2, false},  // 3: upside down
    {2, true},   // 4: mirrored upside down
    {1, true},   // 5: mirrored along the falling diagonal
    {1, false},  // 6: turned left when stored
    {3, true},   // 7: mirrored along the rising diagonal
    {3, false},  // 8: turned right when stored
};

void makeUpright(MImage& _image, int _orientation) {
  const Uprighting& way = UPRIGHTING[_orientation];
  switch (way.quarterTurns) {
    case 1:
      _image.rotateRight();
      break;
    case 2:
      _image.mirror();
      _image.flip();
      break;
    case 3:
      _image.rotateLeft();
      break;
  }
  if (way.mirror) _image.mirror();
}

// Samples the decoded rows into the previews, still as stored (not yet upright): a row is
// copied into every preview row that takes it, the moment it arrives.
class PreviewSampler : public MJpegDecodeTarget {
 public:
  PreviewSampler(const char* _filename, const std::vector<MJpegPreviews::Preview>& _previews,
                 int _orientation, int _maxSide)
      : filename(_filename), wanted(_previews), orientation(_orientation), maxSide(_maxSide) {}

  int chooseScale(int _width, int _height) override {
    if (_width > maxSide || _height > maxSide) {
      fprintf(stderr, "ERROR: Image (%s) of %d x %d pixels has a side over %d!\n", filename,
              _width, _height, maxSide);
      return 0;
    }
    bool turned = UPRIGHTING[orientation].quarterTurns % 2 != 0;
    upright.width = turned ? _height : _width;
    upright.height = turned ? _width : _height;
    int largest = 1;
    for (const MJpegPreviews::Preview& preview : wanted) {
      MJpegPreviews::Size size =
          MJpegPreviews::previewSize(upright.width, upright.height, preview.height);
      previews.emplace_back(new Target{turned ? size.height : size.width,
                                       turned ? size.width : size.height, MImage(), {}, 0});
      if (preview.height > largest) largest = preview.height;
    }
    return MJpegPreviews::scaleEighths(upright.width, upright.height, largest);
  }

  bool begin(int _width, int _height) override {
    decodedHeight = _height;
    for (auto& target : previews) {
      // Every row is filled before the preview is used (finish checks).
      target->image.setData(target->width, target->height,
                            MImage::allocatePixels(target->width, target->height));
      if (target->image.getData() == nullptr) return false;
      target->columns.resize((size_t)target->width);
      for (int x = 0; x < target->width; ++x)
        target->columns[(size_t)x] = MImage::sampleIndex(x, target->width, _width);
    }
    return true;
  }

  void row(int _y, const uint* _pixels) override {
    for (auto& target : previews) {
      while (target->nextRow < target->height &&
             MImage::sampleIndex(target->nextRow, target->height, decodedHeight) == _y) {
        uint* out = target->image.getData() + (size_t)target->nextRow * (size_t)target->width;
        for (int x = 0; x < target->width; ++x) out[x] = _pixels[target->columns[(size_t)x]];
        ++target->nextRow;
      }
    }
  }

  // The previews, upright; null for one that cannot be had.
  MImage* finish(size_t _index) {
    Target& target = *previews[_index];
    if (target.nextRow != target.height) return nullptr;
    makeUpright(target.image, orientation);
    MJpegPreviews::Size size =
        MJpegPreviews::previewSize(upright.width, upright.height, wanted[_index].height);
    if (target.image.getWidth() != size.width || target.image.getHeight() != size.height)
      return nullptr;  // a turn without memory
    return &target.image;
  }

  MJpegPreviews::Size upright{0, 0};

 private:
  struct Target {
    int width;
    int height;
    MImage image;
    std::vector<int> columns;  // the decoded column of each preview column
    int nextRow;               // the first preview row not yet filled
  };

  const char* filename;
  const std::vector<MJpegPreviews::Preview>& wanted;
  int orientation;
  int maxSide;
  int decodedHeight = 0;
  std::vector<std::unique_ptr<Target>> previews;
};

// libjpeg's rounding of a scaled side.
int scaledSide(int _side, int _eighths) { return (int)(((long long)_side * _eighths + 7) / 8); }

}  // namespace

MJpegPreviews::Size MJpegPreviews::previewSize(int _width, int _height, int _previewHeight) {
  int width = MImage::previewWidth(_width, _height, _previewHeight);
  return {width < maxPreviewWidth ? width : maxPreviewWidth, _previewHeight};
}

int MJpegPreviews::scaleEighths(int _width, int _height, int _previewHeight) {
  Size preview = previewSize(_width, _height, _previewHeight);
  int width = 2 * preview.width;
  int height = 2 * preview.height;
  for (int eighths = 1; eighths < 8; ++eighths) {
    if (scaledSide(_width, eighths) >= width && scaledSide(_height, eighths) >= height)
      return eighths;
  }
  return 8;
}

int MJpegPreviews::readOrientation(const char* _filename) {
  ExifLoader* loader = exif_loader_new();
  if (loader == nullptr) return 1;
  exif_loader_write_file(loader, _filename);
  ExifData* data = exif_loader_get_data(loader);
  exif_loader_unref(loader);
  if (data == nullptr) return 1;
  int orientation = 1;
  ExifEntry* entry = exif_content_get_entry(data->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
  if (entry != nullptr && entry->format == EXIF_FORMAT_SHORT && entry->components >= 1 &&
      entry->data != nullptr && entry->size >= 2) {
    orientation = exif_get_short(entry->data, exif_data_get_byte_order(data));
  }
  exif_data_unref(data);
  return orientation >= 1 && orientation <= 8 ? orientation : 1;
}

MJpegPreviews::Size MJpegPreviews::make(const char* _filename,
                                        const std::vector<Preview>& _previews,
                                        int _maxSide) try {
  if (_filename == nullptr)
    throw MException("### FILENAME ###", "The '_filename' parameter points to NULL!");
  PreviewSampler sampler(_filename, _previews, readOrientation(_filename), _maxSide);
  jpeg.decode(_filename, sampler);
  std::vector<MImage*> images;
  for (size_t i = 0; i < _previews.size(); ++i) {
    images.push_back(sampler.finish(i));
    if (images.back() == nullptr) {
      throw MException("### SCALE ###", MString::format("The preview (%s) cannot be made!",
                                                        _previews[i].path.getValue())
                                            .getValue());
    }
  }
  size_t saved = 0;
  try {
    for (; saved < _previews.size(); ++saved)
      jpeg.save(_previews[saved].path.getValue(), *images[saved], _previews[saved].quality);
  } catch (...) {
    // The failed save may have left its file too.
    for (size_t i = 0; i <= saved && i < _previews.size(); ++i)
      unlink(_previews[i].path.getValue());
    throw;
  }
  return sampler.upright;
} M_RETHROW("MJpegPreviews::Size MJpegPreviews::make(char *_filename,std::vector<Preview>& _previews,int _maxSide)")
