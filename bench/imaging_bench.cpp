// What an upload does with a picture, in one process.
//   imaging_bench time <original.jpg> <output-dir> <rounds>
//     The median milliseconds of making the two previews (120 and 240 pixels high) with the
//     scaled decode, and of the earlier way (the whole picture decoded, then sampled).
//   imaging_bench memory <original.jpg> <output-dir>
//     The resident memory before (idle) and at its peak while the previews are made, in MB,
//     and whether the file was refused.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "lib/core/MException.h"
#include "lib/imaging/MFile_JPG.h"
#include "lib/imaging/MImage.h"
#include "lib/imaging/MJpegPreviews.h"

namespace {

std::vector<MJpegPreviews::Preview> previewsIn(const std::string& _dir) {
  return {{120, MString((_dir + "/vistrel-120.jpg").c_str()), 75},
          {240, MString((_dir + "/vistrel-240.jpg").c_str()), 75}};
}

// The earlier way of the upload: the whole picture in memory, sampled twice.
void fullDecode(const char* _file, const std::string& _dir) {
  MFile_JPG jpg;
  MImage original;
  jpg.load(_file, original);
  for (int height : {120, 240}) {
    MImage preview;
    preview.scale(original, MImage::previewWidth(original.getWidth(), original.getHeight(), height),
                  height);
    jpg.save((_dir + "/full-" + std::to_string(height) + ".jpg").c_str(), preview, 75);
  }
}

template <typename F>
double medianMs(int _rounds, F _work) {
  std::vector<double> times;
  for (int i = 0; i < _rounds; ++i) {
    auto start = std::chrono::steady_clock::now();
    _work();
    times.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

// A line of /proc/self/status in MB ("VmRSS", "VmHWM").
double statusMb(const char* _key) {
  FILE* status = fopen("/proc/self/status", "r");
  char line[256];
  double kb = -1;
  size_t length = strlen(_key);
  while (status != nullptr && fgets(line, sizeof line, status) != nullptr) {
    if (strncmp(line, _key, length) == 0 && line[length] == ':') kb = atof(line + length + 1);
  }
  if (status != nullptr) fclose(status);
  return kb / 1024.0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  if (!((mode == "time" && argc == 5) || (mode == "memory" && argc == 4))) {
    fprintf(stderr, "usage: %s time <original.jpg> <output-dir> <rounds>\n"
                    "       %s memory <original.jpg> <output-dir>\n", argv[0], argv[0]);
    return 2;
  }
  const char* file = argv[2];
  std::string dir = argv[3];
  MJpegPreviews previews;
  if (mode == "memory") {
    double idle = statusMb("VmRSS");
    bool refused = false;
    try {
      previews.make(file, previewsIn(dir), 32767);
    } catch (MException&) {
      refused = true;
    }
    printf("idle %.1f MB, peak %.1f MB, %s\n", idle, statusMb("VmHWM"), refused ? "refused" : "previews made");
    return 0;
  }
  int rounds = atoi(argv[4]);
  try {
    double scaled = medianMs(rounds, [&] { previews.make(file, previewsIn(dir), 32767); });
    double full = medianMs(rounds, [&] { fullDecode(file, dir); });
    printf("%.1f %.1f\n", scaled, full);
  } catch (MException& e) {
    e.print(stdout, 0);
    return 1;
  }
  return 0;
}
