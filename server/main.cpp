#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    fprintf(stderr, "USAGE: vistrel <directory> [-install|-uninstall]\n");
    return -1;
  }
  return 0;
}
