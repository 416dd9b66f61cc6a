#include "lib/imaging/MJpegRowWriter.h"

// clang-format off
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <jpeglib.h>
// clang-format on

// libjpeg reports a fatal error by calling error_exit, which must not return and past which
// no C++ exception may pass: it jumps back into the method that called libjpeg, which then
// marks the writer failed. Between setjmp and the jump the methods keep no objects with
// destructors.
namespace {

struct Errors {
  jpeg_error_mgr pub;  // first, so that libjpeg's pointer to it is a pointer to the whole
  jmp_buf jump;
  int savedErrno;  // errno when the error came: why a write failed
};

void fatalError(j_common_ptr _cinfo) {
  int saved = errno;
  (*_cinfo->err->output_message)(_cinfo);
  Errors* errors = (Errors*)_cinfo->err;
  errors->savedErrno = saved;
  longjmp(errors->jump, 1);
}

}  // namespace

struct MJpegRowWriter::State {
  jpeg_compress_struct cinfo;
  Errors err;
  FILE* file = nullptr;
  bool created = false;  // jpeg_create_compress ran
  JSAMPARRAY row = nullptr;
  int width = 0;
  std::string filename;
};

MJpegRowWriter::MJpegRowWriter() {}

MJpegRowWriter::~MJpegRowWriter() { release(); }

void MJpegRowWriter::release() {
  if (!state) return;
  if (state->created) jpeg_destroy_compress(&state->cinfo);
  if (state->file != nullptr) fclose(state->file);
  state.reset();
}

bool MJpegRowWriter::start(const char* _filename, int _width, int _height, int _quality) {
  release();
  failed = true;
  failure = 0;
  state.reset(new State());
  State& s = *state;
  s.filename = _filename;
  memset(&s.cinfo, 0, sizeof(s.cinfo));
  s.cinfo.err = jpeg_std_error(&s.err.pub);
  s.err.pub.error_exit = fatalError;
  s.err.savedErrno = 0;
  if (setjmp(s.err.jump)) {
    if (s.file != nullptr && ferror(s.file)) failure = s.err.savedErrno != 0 ? s.err.savedErrno : EIO;
    release();
    return false;
  }
  jpeg_create_compress(&s.cinfo);
  s.created = true;
  s.file = fopen(_filename, "wb");
  if (s.file == nullptr) {
    failure = errno;
    fprintf(stderr, "can't open %s\n", _filename);
    release();
    return false;
  }
  jpeg_stdio_dest(&s.cinfo, s.file);
  bool sized = _width > 0 && _height > 0;
  s.cinfo.image_width = (JDIMENSION)(sized ? _width : 0);
  s.cinfo.image_height = (JDIMENSION)(sized ? _height : 0);
  s.cinfo.input_components = 3;
  s.cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&s.cinfo);
  jpeg_set_quality(&s.cinfo, _quality < 0 ? 0 : _quality > 100 ? 100 : _quality, FALSE);
  jpeg_start_compress(&s.cinfo, TRUE);
  // One row of red, green, blue bytes at a time, from libjpeg's pool so that a failure
  // releases it too. jpeg_start_compress has checked the size.
  s.row = (*s.cinfo.mem->alloc_sarray)((j_common_ptr)&s.cinfo, JPOOL_IMAGE, s.cinfo.image_width * 3, 1);
  s.width = (int)s.cinfo.image_width;
  failed = false;
  return true;
}

bool MJpegRowWriter::write(const uint* _pixels) {
  if (failed || !state) return false;
  State& s = *state;
  if (s.cinfo.next_scanline >= s.cinfo.image_height) return false;
  failed = true;
  if (setjmp(s.err.jump)) {
    if (ferror(s.file)) failure = s.err.savedErrno != 0 ? s.err.savedErrno : EIO;
    release();
    return false;
  }
  JSAMPLE* out = s.row[0];
  for (int x = 0; x < s.width; ++x) {
    uint v = _pixels[x];
    *out++ = (JSAMPLE)(v >> 16);
    *out++ = (JSAMPLE)(v >> 8);
    *out++ = (JSAMPLE)v;
  }
  jpeg_write_scanlines(&s.cinfo, s.row, 1);
  failed = false;
  return true;
}

bool MJpegRowWriter::finish() {
  if (failed || !state) return false;
  State& s = *state;
  failed = true;
  if (setjmp(s.err.jump)) {
    if (ferror(s.file)) failure = s.err.savedErrno != 0 ? s.err.savedErrno : EIO;
    release();
    return false;
  }
  jpeg_finish_compress(&s.cinfo);
  FILE* written = s.file;
  s.file = nullptr;
  if (fclose(written) != 0) {
    failure = errno;
    fprintf(stderr, "can't write %s\n", s.filename.c_str());
    release();
    return false;
  }
  release();
  failed = false;
  return true;
}
