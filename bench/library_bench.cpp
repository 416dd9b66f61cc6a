// The library benchmark's tools: a generator that writes a library straight into a root's
// record files (and the same data as CSV for SQLite), a keep-alive HTTP client that times
// one page, and a start-up timer.
//
//   library_bench generate <root> <images> [varied|common]
//   library_bench get <port> <path> <requests>      -> "median_ms p90_ms bytes"
//     ("{n}" in the path becomes a number of its own for every request)
//   library_bench contend <port> <search path> <probe path> <clients> <probes>
//                                                    -> "probe_median_ms probe_p99_ms searches"
//     (<clients> connections ask for the search path back to back while one more asks for
//     the probe path <probes> times, one request after the other)
//   library_bench startup <root> <port>              -> "ms cpu_ms pid" (the server keeps
//     running; cpu_ms: the processor time it used to get there, in 10 ms steps)
//
// The library: the administrator and the guest, 10 users ("user0".."user9", password
// "bench") owning the images in turn (each a tenth), 1,000 image folders under the root,
// one link per image (image i in folder 1 + i % 1000), every twentieth image and its link
// waiting, the others accepted. Keywords, by shape:
//   varied  4 to 7 words of a vocabulary of 2,000, a tenth of the images also "harbour" and
//           independently a tenth "Sunset", so a search for both finds about one image in
//           a hundred
//   common  4 different words of a vocabulary of 30 common ones (as a club's library looks:
//           few distinct words, many images per word), each word in about 13% of the
//           images, two of them ("harbour", "sunset") together in about 1.4%
// Every image has its three (empty) files, so the start-up sweep sees a complete store.

#include <algorithm>
#include <atomic>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <random>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "bench/BenchFile.h"
#include "db/GFolderRecord.h"
#include "db/GImageFolderRec.h"
#include "db/GImageRecord.h"
#include "db/GUserRecord.h"

namespace {

const int USERS = 10;
const int FIRST_USER = 2;  // after the administrator and the guest
const int FOLDERS = 1000;
const unsigned BASE_TIME = 1700000000u;

void user(BenchFile& _out, BenchFile& _csv, int _id, int _type, const char* _name, const char* _password) {
  GUser u;
  u.id = _id;
  u.type = _type;
  u.enabled = true;
  u.username = _name;
  u.password = _password;
  u.firstname = "First";
  u.lastname = MString::format("Last %d", _id);
  u.language = "eng";
  u.imageLimit = 1000000;
  u.imageUpload = true;
  u.imageDownload = true;
  u.folderAdmin = _type == 1;
  uchar record[GUserRecord::SIZE];
  GUserRecord::encode(u, record);
  _out.bytes(record, sizeof record);
  _csv.line(std::to_string(_id) + "," + std::to_string(_type) + "," + BenchFile::csv(_name) + "," +
            BenchFile::csv(u.firstname.getValue()) + "," + BenchFile::csv(u.lastname.getValue()));
}

void touch(const std::string& _path) {
  int fd = open(_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) {
    perror(_path.c_str());
    exit(1);
  }
  close(fd);
}

const char* const COMMON_WORDS[] = {
    "harbour", "sunset", "boat",   "beach",  "mountain", "forest",   "river",  "lake",
    "city",    "street", "church", "bridge", "castle",   "garden",   "flower", "tree",
    "sky",     "cloud",  "snow",   "winter", "summer",   "autumn",   "spring", "night",
    "portrait", "family", "dog",   "cat",    "bird",     "festival"};
const int COMMON_COUNT = sizeof COMMON_WORDS / sizeof COMMON_WORDS[0];

int generate(const std::string& _root, int _images, bool _common) {
  std::mt19937 rng(4711);
  std::string db = _root + "/database/";
  std::string csv = _root + "/csv/";
  mkdir(db.c_str(), 0755);
  mkdir(csv.c_str(), 0755);
  {
    BenchFile out(db + "user.db");
    BenchFile table(csv + "users.csv");
    user(out, table, 0, 1, "admin", "tarbo");
    user(out, table, 1, 0, "guest", "plivo");
    for (int i = 0; i < USERS; ++i) {
      user(out, table, FIRST_USER + i, 0, MString::format("user%d", i).getValue(), "bench");
    }
  }
  {
    BenchFile out(db + "folder.db");
    BenchFile table(csv + "folders.csv");
    for (int id = 0; id <= FOLDERS; ++id) {
      GFolder folder;
      folder.id = id;
      folder.enabled = true;
      folder.parentId = id == 0 ? -1 : 0;
      folder.ownerId = 0;
      folder.name = id == 0 ? MString("Folders") : MString::format("Folder %04d", id);
      folder.imageFolder = id != 0;
      uchar record[GFolderRecord::SIZE];
      GFolderRecord::encode(folder, record);
      out.bytes(record, sizeof record);
      table.line(std::to_string(id) + "," + std::to_string(folder.parentId) + "," +
                 BenchFile::csv(folder.name.getValue()));
    }
  }
  std::vector<std::string> vocabulary;
  for (int i = 0; i < 2000; ++i) vocabulary.push_back(BenchFile::pseudoWord(rng, 4));
  {
    BenchFile images(db + "image.db");
    BenchFile links(db + "folderImage.db");
    BenchFile imageTable(csv + "images.csv");
    BenchFile linkTable(csv + "links.csv");
    for (int id = 0; id < _images; ++id) {
      GImage image;
      image.id = id;
      image.user = FIRST_USER + id % USERS;
      image.status = id % 20 == 19 ? GIMAGE_WAITING : GIMAGE_ACCEPTED;
      image.date = "2024-05-17";
      image.width = 1600;
      image.height = 1200;
      image.size = 700000 + (int)(rng() % 100000);
      image.name = MString::format("Image %d", id);
      std::string keywords;
      if (_common) {
        int chosen[4];
        for (int n = 0; n < 4; ++n) {
          bool again;
          do {
            chosen[n] = (int)(rng() % COMMON_COUNT);
            again = false;
            for (int m = 0; m < n; ++m) again = again || chosen[m] == chosen[n];
          } while (again);
          std::string word = COMMON_WORDS[chosen[n]];
          if (rng() % 4 == 0) word[0] = (char)(word[0] - 32);
          keywords += (keywords.empty() ? "" : " ") + word;
        }
      } else {
        for (int n = 4 + (int)(rng() % 4); n > 0; --n) {
          std::string word = vocabulary[rng() % vocabulary.size()];
          if (rng() % 4 == 0) word[0] = (char)(word[0] - 32);
          keywords += (keywords.empty() ? "" : " ") + word;
        }
        if (rng() % 10 == 0) keywords += " harbour";
        if (rng() % 10 == 0) keywords += " Sunset";
      }
      image.keywords = keywords.c_str();
      image.description = "Fishing boats in the harbour, shortly before sunrise.";
      unsigned created = BASE_TIME + (unsigned)id;
      uchar record[GImageRecord::SIZE];
      GImageRecord::encode(image, created, record);
      images.bytes(record, sizeof record);
      imageTable.line(std::to_string(id) + "," + std::to_string(created) + "," +
                      std::to_string(image.user) + "," + std::to_string(image.status) +
                      ",\"2024-05-17\",1600,1200," + std::to_string(image.size) + "," +
                      BenchFile::csv(image.name.getValue()) + "," +
                      BenchFile::csv(image.description.getValue()) + "," + BenchFile::csv(keywords));

      GImageFolderRec link;
      link.creationTime = BASE_TIME + (unsigned)id;
      link.folder = 1 + id % FOLDERS;
      link.user = image.user;
      link.image = id;
      link.status = image.status;
      uchar linkRecord[GImageFolderRec::SIZE];
      link.encode(linkRecord);
      links.bytes(linkRecord, sizeof linkRecord);
      linkTable.line(std::to_string(link.creationTime) + "," + std::to_string(link.folder) + "," +
                     std::to_string(link.user) + "," + std::to_string(id) + "," +
                     std::to_string(link.status));

      for (const char* kind : {"original", "preview1", "preview2"}) {
        touch(MString::format("%s/images/%s/%07d.jpg", _root.c_str(), kind, id).getValue());
      }
    }
  }
  printf("generated %d images, %d links, %d folders, %d users in %s\n", _images, _images,
         FOLDERS, USERS + 2, _root.c_str());
  return 0;
}

// ---------------------------------------------------------------------------------------
// Timing the server

int connectTo(int _port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons((uint16_t)_port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, (sockaddr*)&address, sizeof address) != 0) {
    close(fd);
    return -1;
  }
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

// One request on a keep-alive connection; the body's size, or -1 on a failure or a status
// other than 200. "<path>|<cookie secret>" sends the session's cookie with the path, which a
// link's session needs.
long exchange(int _fd, const std::string& _target) {
  size_t bar = _target.find('|');
  std::string cookie = bar == std::string::npos
                           ? ""
                           : "Cookie: vistrel_session=" + _target.substr(bar + 1) + "\r\n";
  std::string request = "GET " + _target.substr(0, bar) +
                        " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: keep-alive\r\n" + cookie +
                        "\r\n";
  if (write(_fd, request.data(), request.size()) != (ssize_t)request.size()) return -1;
  std::string data;
  char buffer[65536];
  size_t headerEnd = std::string::npos;
  long length = -1;
  for (;;) {
    if (headerEnd != std::string::npos && data.size() >= headerEnd + 4 + (size_t)length) break;
    ssize_t n = read(_fd, buffer, sizeof buffer);
    if (n <= 0) return -1;
    data.append(buffer, (size_t)n);
    if (headerEnd == std::string::npos && (headerEnd = data.find("\r\n\r\n")) != std::string::npos) {
      std::string head = data.substr(0, headerEnd);
      for (char& ch : head) ch = (char)tolower((unsigned char)ch);
      size_t at = head.find("content-length:");
      if (at == std::string::npos || data.compare(0, 12, "HTTP/1.1 200") != 0) return -1;
      length = atol(head.c_str() + at + 15);
    }
  }
  return length;
}

double since(std::chrono::steady_clock::time_point _start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - _start)
      .count();
}

int get(int _port, const std::string& _path, int _requests) {
  int fd = connectTo(_port);
  if (fd < 0) {
    perror("connect");
    return 1;
  }
  std::vector<double> times;
  long bytes = 0;
  for (int i = 0; i < _requests + 2; ++i) {  // two unmeasured ones warm up
    // "{n}" becomes the request's number: actions run once per request number.
    std::string path = _path;
    size_t at = path.find("{n}");
    if (at != std::string::npos) path.replace(at, 3, std::to_string(100000 + i));
    auto start = std::chrono::steady_clock::now();
    bytes = exchange(fd, path);
    double ms = since(start);
    if (bytes < 0) {
      fprintf(stderr, "the request failed: %s\n", _path.c_str());
      return 1;
    }
    if (i >= 2) times.push_back(ms);
  }
  close(fd);
  std::sort(times.begin(), times.end());
  printf("%.3f %.3f %ld\n", times[times.size() / 2], times[times.size() * 9 / 10], bytes);
  return 0;
}

// Ten (or _clients) searchers and one probe, each on its own keep-alive connection: the
// probe's times tell how long others wait while searches run.
int contend(int _port, const std::string& _search, const std::string& _probe, int _clients,
            int _probes) {
  std::atomic<bool> done(false);
  std::atomic<long> searches(0);
  std::atomic<bool> failed(false);
  std::vector<std::thread> searchers;
  for (int c = 0; c < _clients; ++c) {
    searchers.emplace_back([&, c]() {
      int fd = connectTo(_port);
      if (fd < 0) {
        failed = true;
        return;
      }
      // Request numbers of their own per client: a number used once is not carried out again.
      for (long i = 0; !done; ++i) {
        std::string path = _search;
        size_t at = path.find("{n}");
        if (at != std::string::npos) path.replace(at, 3, std::to_string(200000 + c * 100000 + i % 100000));
        if (exchange(fd, path) < 0) {
          failed = true;
          break;
        }
        searches++;
      }
      close(fd);
    });
  }
  int fd = connectTo(_port);
  std::vector<double> times;
  usleep(100000);  // the searchers under way
  for (int i = 0; fd >= 0 && i < _probes && !failed; ++i) {
    auto start = std::chrono::steady_clock::now();
    if (exchange(fd, _probe) < 0) {
      failed = true;
      break;
    }
    times.push_back(since(start));
  }
  done = true;
  for (std::thread& searcher : searchers) searcher.join();
  if (fd >= 0) close(fd);
  if (failed || times.empty()) {
    fprintf(stderr, "a request failed while searching\n");
    return 1;
  }
  std::sort(times.begin(), times.end());
  printf("%.3f %.3f %ld\n", times[times.size() / 2], times[std::min(times.size() - 1, times.size() * 99 / 100)],
         searches.load());
  return 0;
}

// From the start of the process to the first page answered.
int startup(const std::string& _root, int _port) {
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    std::string log = _root + "/server.log";
    int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, 1);
    dup2(out, 2);
    std::string program = _root + "/bin/vistrel";
    execl(program.c_str(), program.c_str(), _root.c_str(), (char*)nullptr);
    _exit(127);
  }
  for (;;) {
    int status;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      fprintf(stderr, "the server ended at start\n");
      return 1;
    }
    int fd = connectTo(_port);
    if (fd >= 0) {
      long bytes = exchange(fd, "/");
      close(fd);
      if (bytes >= 0) break;
    }
    usleep(500);
  }
  double elapsed = since(start);
  // utime and stime, fields 14 and 15 of /proc/<pid>/stat (after the name in parentheses).
  double cpu = -1;
  FILE* stat = fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
  char line[1024] = {0};
  if (stat != nullptr && fgets(line, sizeof line, stat) != nullptr && strrchr(line, ')')) {
    unsigned long user = 0, system = 0;
    if (sscanf(strrchr(line, ')') + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &user,
               &system) == 2) {
      cpu = (double)(user + system) * 1000.0 / (double)sysconf(_SC_CLK_TCK);
    }
  }
  if (stat != nullptr) fclose(stat);
  printf("%.1f %.0f %d\n", elapsed, cpu, (int)pid);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
  if ((argc == 4 || argc == 5) && strcmp(argv[1], "generate") == 0) {
    return generate(argv[2], atoi(argv[3]), argc == 5 && strcmp(argv[4], "common") == 0);
  }
  if (argc == 7 && strcmp(argv[1], "contend") == 0) {
    return contend(atoi(argv[2]), argv[3], argv[4], atoi(argv[5]), atoi(argv[6]));
  }
  if (argc == 5 && strcmp(argv[1], "get") == 0) return get(atoi(argv[2]), argv[3], atoi(argv[4]));
  if (argc == 4 && strcmp(argv[1], "startup") == 0) return startup(argv[2], atoi(argv[3]));
  fprintf(stderr,
          "usage: library_bench generate <root> <images> [varied|common]\n"
          "       library_bench contend <port> <search path> <probe path> <clients> <probes>\n"
          "       library_bench get <port> <path> <requests>\n"
          "       library_bench startup <root> <port>\n");
  return 2;
}
