#ifndef VISTREL_MFILE_JPG_H
#define VISTREL_MFILE_JPG_H

#include "lib/core/MObject.h"
#include "lib/core/MTypes.h"

class MImage;
class MJpegDecodeTarget;

// Reads JPEG files into images and writes images as JPEG files, through libjpeg. Keeps no
// state between calls, so one instance serves everyone. libjpeg's own messages go to standard
// error; failures are raised as MException and leave the image passed to load unchanged.
class MFile_JPG : public MObject {
 public:
  // Headers announcing more pixels than this are refused before any pixel memory is taken.
  // It admits every camera picture (the largest sensors give about 150 megapixels) while a
  // forged header cannot make one upload claim gigabytes.
  static constexpr UInt64 MAX_PIXELS = 200000000;
  // A real progressive file has a dozen scans or so; thousands only serve to burn time.
  static constexpr int MAX_SCANS = 1000;
  // A header claiming more pixels per byte of file than this is a forgery: a Huffman-coded
  // file spends at least a bit on every 8 x 8 block of its largest component, so even a
  // flat grey progressive picture needs a byte per 512 pixels. Only arithmetic coding of an
  // empty picture comes below, and that is the shape of decompression bombs.
  static constexpr UInt64 MAX_PIXELS_PER_BYTE = 1024;
  // The most libjpeg may hold for a picture: a file it can only decode with all its
  // coefficients in memory (progressive ones) is refused above it, at most some 16
  // megapixels with halved colour, 8 with full colour.
  static constexpr UInt64 MAX_DECODER_MEMORY = (UInt64)48 << 20;

  // Decodes the file and hands its pixels to _image: 0x00RRGGBB, opaque. Greyscale files give
  // grey pixels, CMYK and YCCK files (inverted, as Adobe software writes them, when the file
  // carries Adobe's marker) are converted to RGB. A file that ends before its image data is
  // complete is refused; a single-scan Huffman-coded file that lacks only its closing marker
  // loads (any other file that ends early is refused: its decoder cannot tell).
  void load(const char* _filename, MImage& _image);
  // Decodes the file as load does, but at the scale _target chooses from the header and row
  // by row into _target, which keeps what it needs. Failures as load's.
  void decode(const char* _filename, MJpegDecodeTarget& _target);
  // Writes _image as a JFIF file (the transparency byte is dropped); _quality is clamped to
  // 0..100. The file is created or replaced. A file that cannot be opened or written raises
  // an MException whose code is the errno value (ENOSPC for a full disk).
  void save(const char* _filename, MImage& _image, int _quality);
};

#endif
