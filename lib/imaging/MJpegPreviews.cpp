#include "lib/imaging/MJpegPreviews.h"

#include <libexif/exif-data.h>
#include <libexif/exif-loader.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "lib/core/MException.h"
#include "lib/imaging/MImage.h"
#include "lib/imaging/MImageResampler.h"
#include "lib/imaging/MJpegDecodeTarget.h"
#include "lib/imaging/MJpegRowWriter.h"

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

// libjpeg's rounding of a scaled side.
int scaledSide(int _side, int _eighths) { return (int)(((long long)_side * _eighths + 7) / 8); }

// Filters the decoded rows into the pictures, still as stored (not yet upright): each row
// goes into the pictures made from the decode the moment it arrives, and each of their rows
// into the pictures made from them.
class PreviewMaker : public MJpegDecodeTarget {
 public:
  PreviewMaker(const char* _filename, const std::vector<MJpegPreviews::Preview>& _previews,
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
    int eighths = 1;
    for (const MJpegPreviews::Preview& preview : wanted) {
      MJpegPreviews::Size size = sizeOf(preview);
      targets.emplace_back(new Target{turned ? size.height : size.width,
                                      turned ? size.width : size.height, -1, {}, nullptr});
      int needed = preview.longSide > 0
                       ? MJpegPreviews::screenEighths(upright.width, upright.height, preview.longSide)
                       : MJpegPreviews::scaleEighths(upright.width, upright.height, preview.height);
      if (needed > eighths) eighths = needed;
    }
    return eighths;
  }

  bool begin(int _width, int _height) override {
    // Each picture is made from the smallest one of this pass that is at least twice its
    // size in both directions, or else from the decode.
    for (size_t i = 0; i < targets.size(); ++i) {
      Target& target = *targets[i];
      int sourceWidth = _width, sourceHeight = _height;
      for (size_t j = 0; j < targets.size(); ++j) {
        const Target& other = *targets[j];
        bool larger = other.width >= 2 * target.width && other.height >= 2 * target.height;
        bool smaller = (long long)other.width * other.height < (long long)sourceWidth * sourceHeight;
        if (j != i && larger && smaller) {
          target.source = (int)j;
          sourceWidth = other.width;
          sourceHeight = other.height;
        }
      }
      target.resampler.reset(
          new MImageResampler(sourceWidth, sourceHeight, target.width, target.height));
      if (!target.resampler->begin()) return false;
    }
    for (size_t i = 0; i < targets.size(); ++i) {
      if (targets[i]->source >= 0) targets[(size_t)targets[i]->source]->children.push_back(i);
    }
    // The largest picture made from the decode is handed on by a thread of its own: it
    // makes the pictures made from it and, for a picture stored upright, writes its file
    // row by row, while this thread decodes. On a machine with a core to spare the upload
    // then takes little more than the decode.
    for (size_t i = 0; i < targets.size(); ++i) {
      const Target& target = *targets[i];
      if (target.source >= 0) continue;
      if (streamed < 0 || (long long)target.width * target.height >
                              (long long)targets[(size_t)streamed]->width * targets[(size_t)streamed]->height)
        streamed = (int)i;
    }
    if (streamed >= 0 && orientation == 1) {
      const Target& target = *targets[(size_t)streamed];
      const MJpegPreviews::Preview& preview = wanted[(size_t)streamed];
      writer.reset(new MJpegRowWriter());
      if (!writer->start(preview.path.getValue(), target.width, target.height, preview.quality))
        return false;
    }
    for (size_t i = 0; i < targets.size(); ++i) {
      Target* from = targets[i].get();
      if ((int)i == streamed) {
        from->resampler->setSink([this](int _y, const uint*) { publish(_y + 1); });
      } else if (!from->children.empty()) {
        from->resampler->setSink([this, from](int _y, const uint* _pixels) { feed(*from, _y, _pixels); });
      }
    }
    if (streamed >= 0) {
      try {
        helper = std::thread([this]() { handOn(); });
      } catch (const std::system_error&) {
        // No thread to be had: this one hands the rows on as they come.
        handOnAtOnce = true;
      }
    }
    return true;
  }

  // Ends the thread that hands the rows on, once it has handed on every published row.
  void close() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      closing = true;
    }
    wake.notify_one();
    if (helper.joinable()) helper.join();
  }
  ~PreviewMaker() override { close(); }

  // The picture whose file was written as it was made, or -1; its writer's outcome.
  int streamedIndex() const { return writer ? streamed : -1; }
  bool finishStream() { return writer && written && writer->finish(); }
  int streamError() const { return writer ? writer->error() : 0; }

  void row(int _y, const uint* _pixels) override {
    for (auto& target : targets) {
      if (target->source < 0) target->resampler->row(_y, _pixels);
    }
  }

  // The pictures, upright; null for one that cannot be had.
  MImage* finish(size_t _index) {
    Target& target = *targets[_index];
    if (!target.resampler || !target.resampler->done()) return nullptr;
    MImage& image = target.resampler->result();
    makeUpright(image, orientation);
    MJpegPreviews::Size size = sizeOf(wanted[_index]);
    if (image.getWidth() != size.width || image.getHeight() != size.height)
      return nullptr;  // a turn without memory
    return &image;
  }

  MJpegPreviews::Size upright{0, 0};

 private:
  struct Target {
    int width;   // as stored
    int height;
    int source;  // the target it is made from, or -1 for the decode
    std::vector<size_t> children;
    std::unique_ptr<MImageResampler> resampler;
  };

  void feed(Target& _from, int _y, const uint* _pixels) {
    for (size_t child : _from.children) targets[child]->resampler->row(_y, _pixels);
  }
  // Row _y - 1 of the handed-on picture is made (every row before it too).
  void publish(int _rows) {
    if (handOnAtOnce) {
      handRow(_rows - 1);
      return;
    }
    {
      std::lock_guard<std::mutex> lock(mutex);
      published = _rows;
    }
    wake.notify_one();
  }
  void handRow(int _y) {
    Target& target = *targets[(size_t)streamed];
    const uint* row = target.resampler->result().getData() + (size_t)_y * (size_t)target.width;
    feed(target, _y, row);
    if (writer && written) written = writer->write(row);
  }
  // The helper thread: hands on the published rows until closed.
  void handOn() {
    int done = 0;
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      wake.wait(lock, [&]() { return published > done || closing; });
      int upto = published;
      bool end = closing;
      lock.unlock();
      for (; done < upto; ++done) handRow(done);
      lock.lock();
      if (end && done >= published) return;
    }
  }

  MJpegPreviews::Size sizeOf(const MJpegPreviews::Preview& _preview) const {
    return _preview.longSide > 0
               ? MJpegPreviews::screenSize(upright.width, upright.height, _preview.longSide)
               : MJpegPreviews::previewSize(upright.width, upright.height, _preview.height);
  }

  const char* filename;
  const std::vector<MJpegPreviews::Preview>& wanted;
  int orientation;
  int maxSide;
  std::vector<std::unique_ptr<Target>> targets;
  int streamed = -1;
  std::unique_ptr<MJpegRowWriter> writer;
  bool written = true;  // no write of the writer failed
  bool handOnAtOnce = false;
  std::thread helper;
  std::mutex mutex;
  std::condition_variable wake;
  int published = 0;  // rows of the handed-on picture that are made
  bool closing = false;
};

}  // namespace

MJpegPreviews::Size MJpegPreviews::previewSize(int _width, int _height, int _previewHeight) {
  int width = MImage::previewWidth(_width, _height, _previewHeight);
  return {width < maxPreviewWidth ? width : maxPreviewWidth, _previewHeight};
}

int MJpegPreviews::scaleEighths(int _width, int _height, int _previewHeight) {
  Size preview = previewSize(_width, _height, _previewHeight);
  int width = 2 * preview.width;
  int height = 2 * preview.height;
  for (int eighths = 1; eighths < 8; eighths *= 2) {
    if (scaledSide(_width, eighths) >= width && scaledSide(_height, eighths) >= height)
      return eighths;
  }
  return 8;
}

int MJpegPreviews::screenEighths(int _width, int _height, int _longSide) {
  int side = _width > _height ? _width : _height;
  for (int eighths = 1; eighths < 8; eighths *= 2) {
    if ((long long)scaledSide(side, eighths) * 8 >= (long long)_longSide * 7) return eighths;
  }
  return 8;
}

MJpegPreviews::Size MJpegPreviews::screenSize(int _width, int _height, int _longSide) {
  int side = _width > _height ? _width : _height;
  int decoded = scaledSide(side, screenEighths(_width, _height, _longSide));
  int longSide = decoded < _longSide ? decoded : _longSide;
  int shortSide = (int)(((long long)(_width > _height ? _height : _width) * longSide + side / 2) / side);
  if (shortSide < 1) shortSide = 1;
  return _width > _height ? Size{longSide, shortSide} : Size{shortSide, longSide};
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
  PreviewMaker sampler(_filename, _previews, readOrientation(_filename), _maxSide);
  // Whatever fails, none of the files stays (the one written while decoding is begun early).
  auto removeAll = [&]() {
    for (const Preview& preview : _previews) unlink(preview.path.getValue());
  };
  try {
    jpeg.decode(_filename, sampler);
  } catch (...) {
    sampler.close();
    removeAll();
    throw;
  }
  sampler.close();
  int streamed = sampler.streamedIndex();
  std::vector<MImage*> images;
  for (size_t i = 0; i < _previews.size(); ++i) {
    images.push_back(sampler.finish(i));
    if (images.back() == nullptr) {
      removeAll();
      throw MException("### SCALE ###", MString::format("The preview (%s) cannot be made!",
                                                        _previews[i].path.getValue())
                                            .getValue());
    }
  }
  if (streamed >= 0 && !sampler.finishStream()) {
    removeAll();
    throw MException(sampler.streamError(), 0, "### SAVE ###",
                     MString::format("Image save (%s) failed!",
                                     _previews[(size_t)streamed].path.getValue())
                         .getValue());
  }
  try {
    for (size_t i = 0; i < _previews.size(); ++i) {
      if ((int)i != streamed)
        jpeg.save(_previews[i].path.getValue(), *images[i], _previews[i].quality);
    }
  } catch (...) {
    // The failed save may have left its file too.
    removeAll();
    throw;
  }
  return sampler.upright;
} M_RETHROW("MJpegPreviews::Size MJpegPreviews::make(char *_filename,std::vector<Preview>& _previews,int _maxSide)")
