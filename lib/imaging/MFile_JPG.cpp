#include "lib/imaging/MFile_JPG.h"

// clang-format off
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include "lib/core/MException.h"
#include "lib/core/MString.h"
#include "lib/imaging/MImage.h"

// libjpeg reports a fatal error by calling error_exit, which must not return. It is C code, so
// no C++ exception may pass through it: the handlers below jump back to the reader or writer,
// which then releases everything it holds. Between setjmp and the jump the reader and writer
// keep no objects with destructors; what they change there and release afterwards is volatile.
namespace {

struct ErrorManager {
  jpeg_error_mgr pub;  // first, so that libjpeg's pointer to it is a pointer to the whole
  jmp_buf jump;
  void (*defaultEmit)(j_common_ptr, int);
  bool fileEnded;  // the input ended before its end marker
};

void fatalError(j_common_ptr _cinfo) {
  (*_cinfo->err->output_message)(_cinfo);
  longjmp(((ErrorManager*)_cinfo->err)->jump, 1);
}

// Warnings keep libjpeg's handling (only the first is printed, decoding goes on), except for a
// file that ends too early. libjpeg then pretends the end marker came and fills the missing
// part with grey. That is harmless when only the marker itself is missing, but if the decoder
// goes on to miss data (the warnings after the end) the picture is damaged, and storing it as
// if the upload had worked would hide that. Reading past the end a second time is such a miss.
void readerWarning(j_common_ptr _cinfo, int _level) {
  ErrorManager* err = (ErrorManager*)_cinfo->err;
  if (_level < 0) {
    if (_cinfo->err->msg_code == JWRN_JPEG_EOF && !err->fileEnded) {
      err->fileEnded = true;
      (*_cinfo->err->output_message)(_cinfo);
      _cinfo->err->num_warnings++;
      return;
    }
    if (err->fileEnded) fatalError(_cinfo);
  }
  err->defaultEmit(_cinfo, _level);
}

// Called between rows of input while the decoder reads a file; stops files made of endless
// scans before they cost minutes.
void readerProgress(j_common_ptr _cinfo) {
  j_decompress_ptr cinfo = (j_decompress_ptr)_cinfo;
  if (cinfo->input_scan_number > MFile_JPG::MAX_SCANS) {
    fprintf(stderr, "ERROR: JPEG file has more than %d scans!\n", MFile_JPG::MAX_SCANS);
    longjmp(((ErrorManager*)_cinfo->err)->jump, 1);
  }
}

// The share of _light (0..255) that a layer letting _through (0..255) pass leaves.
inline uint throughInk(uint _light, uint _through) { return (_light * _through + 127) / 255; }

// Decodes the file into a new pixel buffer from MImage::allocatePixels. False on any failure,
// with the reason on standard error and nothing left allocated or open.
bool readJpeg(const char* _filename, int& _width, int& _height, uint*& _pixels) {
  FILE* file = fopen(_filename, "rb");
  if (file == nullptr) {
    fprintf(stderr, "ERROR; Cannot open file (%s)!\n", _filename);
    return false;
  }

  jpeg_decompress_struct cinfo;
  memset(&cinfo, 0, sizeof(cinfo));
  ErrorManager err;
  jpeg_progress_mgr progress;
  memset(&progress, 0, sizeof(progress));
  uint* volatile pixels = nullptr;

  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = fatalError;
  err.defaultEmit = err.pub.emit_message;
  err.pub.emit_message = readerWarning;
  err.fileEnded = false;
  progress.progress_monitor = readerProgress;

  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    fclose(file);
    MImage::releasePixels(pixels);
    return false;
  }

  jpeg_create_decompress(&cinfo);
  cinfo.progress = &progress;
  jpeg_stdio_src(&cinfo, file);
  jpeg_read_header(&cinfo, TRUE);

  // Before jpeg_start_decompress: for a progressive file it already takes memory for the
  // whole picture.
  if ((UInt64)cinfo.image_width * (UInt64)cinfo.image_height > MFile_JPG::MAX_PIXELS) {
    fprintf(stderr, "ERROR: Image (%s) is too large: %u x %u pixels, at most %llu allowed!\n",
            _filename, (unsigned)cinfo.image_width, (unsigned)cinfo.image_height,
            (unsigned long long)MFile_JPG::MAX_PIXELS);
    longjmp(err.jump, 1);
  }

  // RGB wherever libjpeg can make it; grey and CMYK come out as they are and are converted
  // below. Anything else (two or five components) is no picture we can show.
  switch (cinfo.jpeg_color_space) {
    case JCS_YCbCr:
    case JCS_RGB:
      cinfo.out_color_space = JCS_RGB;
      break;
    case JCS_GRAYSCALE:
      cinfo.out_color_space = JCS_GRAYSCALE;
      break;
    case JCS_CMYK:
    case JCS_YCCK:
      cinfo.out_color_space = JCS_CMYK;
      break;
    default:
      ERREXIT(&cinfo, JERR_CONVERSION_NOTIMPL);
  }
  // Adobe software writes CMYK with every sample inverted (255 is no ink) and marks such files
  // with its APP14 marker.
  bool invertedCmyk = cinfo.saw_Adobe_marker;

  jpeg_start_decompress(&cinfo);

  int components = cinfo.output_components;
  JSAMPARRAY row = (*cinfo.mem->alloc_sarray)((j_common_ptr)&cinfo, JPOOL_IMAGE,
                                               cinfo.output_width * components, 1);
  int width = (int)cinfo.output_width;
  int height = (int)cinfo.output_height;
  pixels = MImage::allocatePixels(width, height);
  if (pixels == nullptr) {
    fprintf(stderr, "ERROR: Not enough memory for the image (%s)!\n", _filename);
    longjmp(err.jump, 1);
  }

  while (cinfo.output_scanline < cinfo.output_height) {
    uint* out = pixels + (size_t)cinfo.output_scanline * (size_t)width;
    jpeg_read_scanlines(&cinfo, row, 1);
    const JSAMPLE* in = row[0];
    if (components == 3) {
      for (int x = 0; x < width; ++x, in += 3)
        out[x] = ((uint)in[0] << 16) | ((uint)in[1] << 8) | (uint)in[2];
    } else if (components == 1) {
      for (int x = 0; x < width; ++x) out[x] = (uint)in[x] * 0x010101u;
    } else {
      // CMYK: with samples turned into the light each ink lets through (255: no ink), a
      // colour is what both its own ink and the black let through.
      for (int x = 0; x < width; ++x, in += 4) {
        uint c = in[0], m = in[1], y = in[2], k = in[3];
        if (!invertedCmyk) {
          c = 255 - c;
          m = 255 - m;
          y = 255 - y;
          k = 255 - k;
        }
        out[x] = (throughInk(c, k) << 16) | (throughInk(m, k) << 8) | throughInk(y, k);
      }
    }
  }

  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  fclose(file);
  _width = width;
  _height = height;
  _pixels = pixels;
  return true;
}

// Encodes width x height pixels (or an empty picture, which libjpeg refuses) into the file.
bool writeJpeg(const char* _filename, int _width, int _height, const uint* _pixels,
               int _quality) {
  jpeg_compress_struct cinfo;
  memset(&cinfo, 0, sizeof(cinfo));
  ErrorManager err;
  FILE* volatile file = nullptr;

  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = fatalError;
  err.defaultEmit = err.pub.emit_message;
  err.fileEnded = false;

  if (setjmp(err.jump)) {
    jpeg_destroy_compress(&cinfo);
    if (file != nullptr) fclose(file);
    return false;
  }

  jpeg_create_compress(&cinfo);
  file = fopen(_filename, "wb");
  if (file == nullptr) {
    fprintf(stderr, "can't open %s\n", _filename);
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  jpeg_stdio_dest(&cinfo, file);

  cinfo.image_width = (JDIMENSION)_width;
  cinfo.image_height = (JDIMENSION)_height;
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, _quality, FALSE);
  jpeg_start_compress(&cinfo, TRUE);

  // One row of red, green, blue bytes at a time, from libjpeg's pool so that a failure
  // releases it too. jpeg_start_compress has checked the size.
  JSAMPARRAY row =
      (*cinfo.mem->alloc_sarray)((j_common_ptr)&cinfo, JPOOL_IMAGE, cinfo.image_width * 3, 1);
  while (cinfo.next_scanline < cinfo.image_height) {
    const uint* in = _pixels + (size_t)cinfo.next_scanline * (size_t)_width;
    JSAMPLE* out = row[0];
    for (int x = 0; x < _width; ++x) {
      uint v = in[x];
      *out++ = (JSAMPLE)(v >> 16);
      *out++ = (JSAMPLE)(v >> 8);
      *out++ = (JSAMPLE)v;
    }
    jpeg_write_scanlines(&cinfo, row, 1);
  }
  jpeg_finish_compress(&cinfo);

  FILE* written = file;
  file = nullptr;
  bool closed = fclose(written) == 0;
  if (!closed) fprintf(stderr, "can't write %s\n", _filename);
  jpeg_destroy_compress(&cinfo);
  return closed;
}

}  // namespace

void MFile_JPG::load(const char* _filename, MImage& _image) try {
  if (_filename == nullptr)
    throw MException("### FILENAME ###", "The '_filename' parameter points to NULL!");
  int width = 0;
  int height = 0;
  uint* pixels = nullptr;
  if (!readJpeg(_filename, width, height, pixels) || pixels == nullptr)
    throw MException("### LOAD ###",
                     MString::format("Image load (%s) failed!", _filename).getValue());
  _image.setData(width, height, pixels);
} M_RETHROW("void MFile_JPG::load(char *_filename,MImage& _image)")

void MFile_JPG::save(const char* _filename, MImage& _image, int _quality) try {
  if (_filename == nullptr)
    throw MException("### FILENAME ###", "The '_filename' parameter points to NULL!");
  int width = _image.getWidth();
  int height = _image.getHeight();
  const uint* pixels = _image.getData();
  // An image without pixels is written as an empty picture, which libjpeg refuses.
  if (pixels == nullptr || width <= 0 || height <= 0) {
    width = 0;
    height = 0;
  }
  if (_quality < 0) _quality = 0;
  if (_quality > 100) _quality = 100;
  if (!writeJpeg(_filename, width, height, pixels, _quality))
    throw MException("### SAVE ###",
                     MString::format("Image save (%s) failed!", _filename).getValue());
} M_RETHROW("void MFile_JPG::save(char *_filename,MImage& _image,int _quality)")
