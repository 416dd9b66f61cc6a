#include "lib/imaging/MFile_JPG.h"

// clang-format off
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <jpeglib.h>
#include <jerror.h>
#include <sys/stat.h>
// clang-format on

#include "lib/core/MException.h"
#include "lib/core/MString.h"
#include "lib/imaging/MImage.h"
#include "lib/imaging/MJpegDecodeTarget.h"
#include "lib/imaging/MJpegRowWriter.h"

// libjpeg reports a fatal error by calling error_exit, which must not return. It is C code, so
// no C++ exception may pass through it: the handlers below jump back to the reader or writer,
// which then releases everything it holds. Between setjmp and the jump the reader and writer
// keep no objects with destructors; what they change there and release afterwards is volatile.
namespace {

struct ErrorManager {
  jpeg_error_mgr pub;  // first, so that libjpeg's pointer to it is a pointer to the whole
  jmp_buf jump;
  void (*defaultEmit)(j_common_ptr, int);
  bool fileEnded;        // the input ended before its end marker
  bool endMayBeMissing;  // a file whose decoder notices missing data itself (see below)
  volatile int savedErrno;  // errno when the error came: why a write failed
};

void fatalError(j_common_ptr _cinfo) {
  ((ErrorManager*)_cinfo->err)->savedErrno = errno;
  (*_cinfo->err->output_message)(_cinfo);
  longjmp(((ErrorManager*)_cinfo->err)->jump, 1);
}

// Warnings keep libjpeg's handling (only the first is printed, decoding goes on), except for a
// file that ends too early. libjpeg then pretends the end marker came and fills the missing
// part with grey. That is harmless when only the marker itself is missing, but a picture
// with missing data is damaged, and storing it as if the upload had worked would hide that.
// Only the Huffman decoder of a single-scan file tells the two apart: it warns when it
// misses data (any warning after the end, reading past the end a second time included).
// An arithmetic-coded decoder fills the rest with zeros without a word, and a progressive
// file may simply lack its later scans, so for those the early end itself is refused.
void readerWarning(j_common_ptr _cinfo, int _level) {
  ErrorManager* err = (ErrorManager*)_cinfo->err;
  if (_level < 0) {
    if (_cinfo->err->msg_code == JWRN_JPEG_EOF && !err->fileEnded) {
      if (!err->endMayBeMissing) fatalError(_cinfo);
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

// The memory libjpeg keeps for the coefficients of a file it cannot decode in one pass
// (progressive, or scans of single components): all of them, at the full size.
UInt64 coefficientBytes(j_decompress_ptr _cinfo) {
  UInt64 bytes = 0;
  for (int c = 0; c < _cinfo->num_components; ++c) {
    const jpeg_component_info& comp = _cinfo->comp_info[c];
    UInt64 columns = (comp.width_in_blocks + comp.h_samp_factor - 1) / comp.h_samp_factor;
    UInt64 rows = (comp.height_in_blocks + comp.v_samp_factor - 1) / comp.v_samp_factor;
    bytes += columns * comp.h_samp_factor * rows * comp.v_samp_factor * sizeof(JBLOCK);
  }
  return bytes;
}

// Decodes the file into _target row by row. False on any failure, with the reason on
// standard error and nothing left allocated or open.
bool readJpeg(const char* _filename, MJpegDecodeTarget& _target) {
  FILE* file = fopen(_filename, "rb");
  if (file == nullptr) {
    fprintf(stderr, "ERROR; Cannot open file (%s)!\n", _filename);
    return false;
  }
  struct stat info;
  UInt64 fileBytes = fstat(fileno(file), &info) == 0 ? (UInt64)info.st_size : 0;

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
  err.endMayBeMissing = false;
  progress.progress_monitor = readerProgress;

  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    fclose(file);
    MImage::releasePixels(pixels);
    return false;
  }

  jpeg_create_decompress(&cinfo);
  // What libjpeg may take for whole-picture buffers; beyond it, it refuses (it has no
  // backing store) instead of growing with what a header claims.
  cinfo.mem->max_memory_to_use = (long)MFile_JPG::MAX_DECODER_MEMORY;
  cinfo.progress = &progress;
  jpeg_stdio_src(&cinfo, file);
  jpeg_read_header(&cinfo, TRUE);
  err.endMayBeMissing = !cinfo.arith_code && !jpeg_has_multiple_scans(&cinfo);

  // Before jpeg_start_decompress: for a progressive file it already takes memory for the
  // whole picture.
  UInt64 pixelCount = (UInt64)cinfo.image_width * (UInt64)cinfo.image_height;
  if (pixelCount > MFile_JPG::MAX_PIXELS) {
    fprintf(stderr, "ERROR: Image (%s) is too large: %u x %u pixels, at most %llu allowed!\n",
            _filename, (unsigned)cinfo.image_width, (unsigned)cinfo.image_height,
            (unsigned long long)MFile_JPG::MAX_PIXELS);
    longjmp(err.jump, 1);
  }
  if (pixelCount > fileBytes * MFile_JPG::MAX_PIXELS_PER_BYTE) {
    fprintf(stderr, "ERROR: Image (%s) claims %u x %u pixels in only %llu bytes!\n", _filename,
            (unsigned)cinfo.image_width, (unsigned)cinfo.image_height,
            (unsigned long long)fileBytes);
    longjmp(err.jump, 1);
  }
  if (jpeg_has_multiple_scans(&cinfo) && coefficientBytes(&cinfo) > MFile_JPG::MAX_DECODER_MEMORY) {
    fprintf(stderr, "ERROR: Image (%s) of %u x %u pixels in several scans needs %llu MB to "
            "decode, at most %llu allowed!\n", _filename, (unsigned)cinfo.image_width,
            (unsigned)cinfo.image_height, (unsigned long long)(coefficientBytes(&cinfo) >> 20),
            (unsigned long long)(MFile_JPG::MAX_DECODER_MEMORY >> 20));
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

  // libjpeg's scaled inverse DCT: eighths of the full size, straight from the coefficients.
  // The target must not throw; should it, nothing may pass libjpeg's state by.
  int eighths = 0;
  try {
    eighths = _target.chooseScale((int)cinfo.image_width, (int)cinfo.image_height);
  } catch (...) {
    eighths = 0;
  }
  if (eighths < 1 || eighths > 8) longjmp(err.jump, 1);
  cinfo.scale_num = (unsigned)eighths;
  cinfo.scale_denom = 8;

  jpeg_start_decompress(&cinfo);

  int components = cinfo.output_components;
  JSAMPARRAY row = (*cinfo.mem->alloc_sarray)((j_common_ptr)&cinfo, JPOOL_IMAGE,
                                               cinfo.output_width * components, 1);
  int width = (int)cinfo.output_width;
  int height = (int)cinfo.output_height;
  pixels = MImage::allocatePixels(width, 1);
  bool begun = false;
  try {
    begun = pixels != nullptr && _target.begin(width, height);
  } catch (...) {
    begun = false;
  }
  if (!begun) {
    fprintf(stderr, "ERROR: Not enough memory for the image (%s)!\n", _filename);
    longjmp(err.jump, 1);
  }

  while (cinfo.output_scanline < cinfo.output_height) {
    int y = (int)cinfo.output_scanline;
    uint* out = pixels;
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
    bool taken = true;
    try {
      _target.row(y, out);
    } catch (...) {
      taken = false;
    }
    if (!taken) longjmp(err.jump, 1);
  }

  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  fclose(file);
  MImage::releasePixels(pixels);
  return true;
}

// Keeps every row: the whole picture at its full size, for load.
class WholePicture : public MJpegDecodeTarget {
 public:
  ~WholePicture() override { MImage::releasePixels(pixels); }
  int chooseScale(int _width, int _height) override { return 8; }
  bool begin(int _width, int _height) override {
    pixels = MImage::allocatePixels(_width, _height);
    width = _width;
    height = _height;
    return pixels != nullptr;
  }
  void row(int _y, const uint* _pixels) override {
    memcpy(pixels + (size_t)_y * (size_t)width, _pixels, (size_t)width * sizeof(uint));
  }
  // Hands the pixels over to _image.
  void giveTo(MImage& _image) {
    _image.setData(width, height, pixels);
    pixels = nullptr;
  }

 private:
  uint* pixels = nullptr;
  int width = 0;
  int height = 0;
};

}  // namespace

void MFile_JPG::load(const char* _filename, MImage& _image) try {
  if (_filename == nullptr)
    throw MException("### FILENAME ###", "The '_filename' parameter points to NULL!");
  WholePicture picture;
  if (!readJpeg(_filename, picture))
    throw MException("### LOAD ###",
                     MString::format("Image load (%s) failed!", _filename).getValue());
  picture.giveTo(_image);
} M_RETHROW("void MFile_JPG::load(char *_filename,MImage& _image)")

void MFile_JPG::decode(const char* _filename, MJpegDecodeTarget& _target) try {
  if (_filename == nullptr)
    throw MException("### FILENAME ###", "The '_filename' parameter points to NULL!");
  if (!readJpeg(_filename, _target))
    throw MException("### LOAD ###",
                     MString::format("Image load (%s) failed!", _filename).getValue());
} M_RETHROW("void MFile_JPG::decode(char *_filename,MJpegDecodeTarget& _target)")

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
  MJpegRowWriter writer;
  bool written = writer.start(_filename, width, height, _quality);
  for (int y = 0; written && y < height; ++y) written = writer.write(pixels + (size_t)y * (size_t)width);
  if (!written || !writer.finish())
    throw MException(writer.error(), 0, "### SAVE ###",
                     MString::format("Image save (%s) failed!", _filename).getValue());
} M_RETHROW("void MFile_JPG::save(char *_filename,MImage& _image,int _quality)")
