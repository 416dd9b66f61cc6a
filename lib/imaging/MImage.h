#ifndef VISTREL_MIMAGE_H
#define VISTREL_MIMAGE_H

#include "lib/imaging/MImageSurface.h"

// A picture in memory: width x height pixel values, row by row from the top, the pixel at
// (x, y) being element y * width + x. The image owns its buffer. An image whose width or
// height is not positive has no pixels.
//
// Scaling is plain nearest-neighbour sampling from the top-left corner of each target cell:
// no filtering and no centring, so reducing by a whole factor k takes every k-th pixel
// starting with the first.
class MImage : public MImageSurface {
 public:
  // What getPixel answers outside the image (a transparent black).
  static constexpr uint OUTSIDE = 0xFF000000u;
  // What resize fills an image with that had no pixels.
  static constexpr uint EMPTY_FILL = 0x0000FF00u;
  // The widest (and tallest) picture a JPEG file can hold.
  static constexpr int MAX_JPEG_DIMENSION = 65500;

  MImage();
  MImage(int _width, int _height);
  MImage(const MImage& _other);
  // Samples any surface through its getWidth, getHeight and getPixel.
  MImage(MImageSurface& _source, int _width, int _height);
  MImage& operator=(const MImage& _other);
  ~MImage() override;

  MObject* newObject() override;
  MObject* duplicate() override;
  uchar getType() override;
  MString getTypeName() override;
  bool isKindOf(const char* _name) override;
  bool isKindOf(uchar _type) override;
  MString toString() override;
  int getStreamSize() override;
  void readStream(MInputStream* _stream) override;
  void writeStream(MOutputStream* _stream) override;
  void print(FILE* _file, int _indent) override;

  int getWidth() override;
  int getHeight() override;
  uint getPixel(int _x, int _y) override;
  void setPixel(int _x, int _y, uint _value) override;
  void fill(uint _value) override;

  virtual bool hasTransparency();
  virtual void mirror();
  virtual void flip();
  virtual uint* getData();
  virtual bool isTransparent(int _x, int _y);
  virtual void rotateLeft();
  virtual void rotateRight();
  // Replaces this image by a copy of _source sampled to _width x _height. Sizes that are not
  // positive leave this image as it is.
  virtual void scale(MImage& _source, int _width, int _height);
  // Takes over a buffer from allocatePixels; without valid sizes or buffer the caller keeps it.
  virtual void setData(int _width, int _height, uint* _pixels);
  // Scales this image in place; an image without pixels becomes EMPTY_FILL.
  virtual void resize(int _width, int _height);

  // A buffer of _width x _height pixel values that an image can take over with setData, or
  // null when the sizes are not positive or the memory cannot be had. Uninitialised.
  static uint* allocatePixels(int _width, int _height);
  static void releasePixels(uint* _pixels);

  // The width of a preview _previewHeight pixels high that keeps the original's aspect ratio
  // (single-precision scale, rounded down), kept between 1 and MAX_JPEG_DIMENSION so that
  // extremely tall or wide originals still give a preview that can be stored.
  static int previewWidth(int _width, int _height, int _previewHeight);
  // The source row (or column) that scaling samples for row (column) _target of
  // _targetSize, from _sourceSize (both positive): the top-left of the target cell.
  static int sampleIndex(int _target, int _targetSize, int _sourceSize);

 private:
  // Fills _target (_width x _height) from the pixel buffer _source (_sourceWidth x
  // _sourceHeight, both positive) by nearest-neighbour sampling.
  static void sample(const uint* _source, int _sourceWidth, int _sourceHeight, uint* _target,
                     int _width, int _height);
  void copyFrom(const MImage& _other);

  int width;
  int height;
  uint* pixels;
  bool transparent;
  bool transparencyDirty;
};

#endif
