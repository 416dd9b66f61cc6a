#ifndef VISTREL_MIMAGERESAMPLER_H
#define VISTREL_MIMAGERESAMPLER_H

#include <functional>
#include <vector>

#include "lib/core/MObject.h"
#include "lib/core/MTypes.h"
#include "lib/imaging/MImage.h"

// Scales a picture with a separable Catmull-Rom filter, widened by the reduction factor when
// it reduces, so that every source pixel counts (a line field averages to its grey instead of
// folding into false stripes). It takes the source row by row, top to bottom, as a decoder
// hands them out. When it reduces the height, each row is added into the sums of the result
// rows whose filter reaches it (some four of them; a run over whole rows that the compiler
// vectorises) and a result row is filtered across once its last source row came; otherwise
// each row is filtered across first and the result rows are summed from the last few such
// rows. Memory follows the result and a few rows, not the source.
//
// The filter is taken in the picture's own values (no gamma conversion) and its weights are
// normalised over the part that lies inside the picture, so that a flat area stays exactly
// its value up to the edges. Results are rounded and kept to 0..255 per channel; the
// transparency byte of the source is dropped (results are opaque).
class MImageResampler : public MObject {
 public:
  // Called with each finished row of the result, top to bottom, valid during the call: a
  // smaller resampler fed from a larger one makes previews of previews in the same pass.
  using RowSink = std::function<void(int _y, const uint* _pixels)>;

  // The filter's reach on either side of a pixel, in pixels of the larger picture.
  static constexpr double support = 2.0;

  // A resampler from _sourceWidth x _sourceHeight to _width x _height (all positive).
  MImageResampler(int _sourceWidth, int _sourceHeight, int _width, int _height);

  // Takes the memory of the result; false when it cannot be had (nothing to free then).
  bool begin();
  // Source row _y (every row from 0 to the source height, in order), _sourceWidth pixels.
  void row(int _y, const uint* _pixels);
  // Also hands each finished row to _sink, which must outlive the rows.
  void setSink(RowSink _sink) { sink = std::move(_sink); }
  // Whether every row of the result is made (every source row was given).
  bool done() const { return nextOut == height; }
  // The result; complete once done() holds.
  MImage& result() { return image; }

  // Resamples a whole image in one call; _target stays untouched when no memory is had
  // (answers false then).
  static bool scale(MImage& _source, MImage& _target, int _width, int _height);

 private:
  // The weights of one result pixel along one direction: source indices first..first+count-1.
  struct Taps {
    int first;
    int count;
    size_t offset;  // into weights
  };
  // The taps along a side of _source pixels scaled to _target.
  static void plan(int _source, int _target, std::vector<Taps>& _taps,
                   std::vector<float>& _weights);
  // Filters the finished sums of result row _y across and hands the row out.
  void emit(int _y);
  // The other order: sums result row _y from the rows filtered across, hands it out.
  void emitDown(int _y);

  int sourceWidth, sourceHeight, width, height;
  std::vector<Taps> across, down;
  std::vector<float> acrossWeights, downWeights;
  // Reducing the height: the sums of the result rows under way (red, green, blue planes of
  // sourceWidth floats each), by result row modulo ringRows, as many as the filter reaches
  // at once. Otherwise: the last source rows filtered across (planes of width floats), by
  // source row modulo ringRows.
  bool downFirst = true;
  std::vector<float> ring;
  int ringRows = 0;
  std::vector<float> sums;  // one result row in planes, summed down (the other order)
  std::vector<float> planes;  // one source row in three planes
  int nextOut = 0;
  bool identity = false;
  MImage image;
  RowSink sink;
};

#endif
