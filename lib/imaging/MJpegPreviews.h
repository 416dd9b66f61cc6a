#ifndef VISTREL_MJPEGPREVIEWS_H
#define VISTREL_MJPEGPREVIEWS_H

#include <vector>

#include "lib/core/MObject.h"
#include "lib/core/MString.h"
#include "lib/imaging/MFile_JPG.h"

// Makes the previews of a JPEG file without ever holding the picture at its full size:
// libjpeg decodes it at the smallest power-of-two scale that still leaves twice the largest
// preview and the screen-sized picture in both directions (the other eighths have no fast
// inverse DCT in libjpeg-turbo and decode slower than the full size), and each decoded row
// goes straight into the filters (MImageResampler) of the pictures made from it; a preview
// at most half as large as another one is filtered from that one in the same pass, so the
// decode is filtered about once. Memory follows the pictures made, not the file.
// The pictures are turned upright by the file's EXIF orientation, and no preview is wider
// than maxPreviewWidth. Keeps no state between calls, so one instance serves every thread.
class MJpegPreviews : public MObject {
 public:
  // One picture to make, saved at quality into path: with longSide 0 a preview of the size
  // previewSize gives for height; with longSide above 0 a screen-sized picture of the size
  // screenSize gives for it (height is not used then).
  struct Preview {
    int height;
    MString path;
    int quality;
    int longSide = 0;
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
  // The decoding scale in eighths (1, 2, 4 or 8) for an upright picture of _width x _height
  // whose largest preview is asked _previewHeight high: the smallest whose result is at least
  // twice that preview (previewSize) in both directions (libjpeg rounds the scaled sides
  // up), or the full size.
  static int scaleEighths(int _width, int _height, int _previewHeight);
  // The decoding scale (1, 2, 4 or 8 eighths) a screen-sized picture of _longSide needs: the
  // smallest whose long side is at least seven eighths of _longSide, or the full size.
  static int screenEighths(int _width, int _height, int _longSide);
  // The size of the screen-sized picture of an upright picture of _width x _height: its
  // long side is _longSide or, if less, the long side of the decode at screenEighths (so
  // between seven eighths of _longSide and _longSide, or the picture's own for a smaller
  // one: never enlarged), the other side keeping the aspect (at least 1).
  static Size screenSize(int _width, int _height, int _longSide);
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
