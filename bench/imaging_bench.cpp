// Times what an upload does with a picture: decode the original, then make and write the two
// previews (120 and 240 pixels high). Prints the median of several rounds in milliseconds.
//   imaging_bench <original.jpg> <output-dir> <rounds>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "lib/core/MException.h"
#include "lib/imaging/MFile_JPG.h"
#include "lib/imaging/MImage.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: %s <original.jpg> <output-dir> <rounds>\n", argv[0]);
    return 2;
  }
  std::string outDir = argv[2];
  int rounds = atoi(argv[3]);
  MFile_JPG jpg;
  std::vector<double> times;
  try {
    for (int i = 0; i < rounds; ++i) {
      auto start = std::chrono::steady_clock::now();
      MImage original;
      jpg.load(argv[1], original);
      for (int height : {120, 240}) {
        MImage preview;
        int width = MImage::previewWidth(original.getWidth(), original.getHeight(), height);
        preview.scale(original, width, height);
        std::string name = outDir + "/vistrel-" + std::to_string(height) + ".jpg";
        jpg.save(name.c_str(), preview, 75);
      }
      times.push_back(
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
              .count());
    }
  } catch (MException& e) {
    e.print(stdout, 0);
    return 1;
  }
  std::sort(times.begin(), times.end());
  printf("%.1f\n", times[times.size() / 2]);
  return 0;
}
