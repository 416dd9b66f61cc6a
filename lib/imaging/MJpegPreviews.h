#ifndef VISTREL_MJPEGPREVIEWS_H
#define VISTREL_MJPEGPREVIEWS_H

#include <vector>

#include "lib/core/MObject.h"
#include "lib/core/MString.h"
#include "lib/imaging/MFile_JPG.h"

// Makes the previews of a JPEG file without ever holding the picture at its full size:
// libjpeg decodes it at the smallest scale that still leaves twice the largest preview in
// both directions, and each decoded row goes straight into the previews that sample it
// (the nearest-neighbour scaling of MImage), so memory follows the previews, not the file.
// The previews are turned upright by the file's EXIF orientation, and none is wider than
// maxPreviewWidth. Keeps no state between calls, so one instance serves every thread.
class MJpegPreviews : public MObject {
 public:
  // One preview to make: the size previewSize gives for _height, saved at _quality into _path.
  struct Preview {
    int height;
    MString path;
    int quality;
  };
  // A size as it is to be seen: a picture's has the sides swapped for the turned orientations.
  struct Size {
    int width;
    int height;
  };

  // The widest a preview may be. A panorama's preview at the full height would be tens of
  // thousands of pixels wide (a picture of 32767 x 16 pixels: 65,500 columns, 94 MB of
  // pixels for the two previews); it is squeezed to this width instead. It keeps its height,
  // since the pages show every preview at the height it was asked for: a lower one would be
  // stretched back to a width of hundreds of thousands of pixels there.
  static const int maxPreviewWidth = 4096;

  // The size of the preview asked for _previewHeight pixels high of an upright picture of
  // _width x _height: _previewHeight high, the width keeping the aspect
  // (MImage::previewWidth) up to maxPreviewWidth.
  static Size previewSize(int _width, int _height, int _previewHeight);
  // The decoding scale in eighths (1 to 8) for an upright picture of _width x _height whose
  // largest preview is asked _previewHeight high: the smallest whose result is at least
  // twice that preview (previewSize) in both directions (libjpeg rounds the scaled sides
  // up), or the full size.
  static int scaleEighths(int _width, int _height, int _previewHeight);
  // The EXIF orientation of the file (1 to 8, read with libexif); 1 without the tag or with
  // a value out of range.
  static int readOrientation(const char* _filename);

  // Makes every preview of the JPEG file _filename and answers the upright size. Pictures
  // with a side over _maxSide are refused from the header, and so is everything MFile_JPG
  // refuses. A failure raises MException and leaves none of the preview files behind; the
  // file itself is only read.
  Size make(const char* _filename, const std::vector<Preview>& _previews, int _maxSide);

 private:
  MFile_JPG jpeg;
};

#endif
