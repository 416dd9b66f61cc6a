// The server loop and HTTP processor with a handler that answers every request with the
// same 5 KB page, for bench/http.sh. Usage: http_bench [port]; port 0 (the default)
// takes a free one. Prints "PORT <n>" once listening and runs until SIGINT or SIGTERM.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "lib/core/MException.h"
#include "lib/net/MHttpHandler.h"
#include "lib/net/MHttpProcessor.h"
#include "lib/net/MHttpResponse.h"
#include "lib/net/MServer.h"
#include "lib/platform/MClock.h"

namespace {

volatile sig_atomic_t stopSignal = 0;

void onSignal(int) { stopSignal = 1; }

class FixedPageHandler : public MHttpHandler {
 public:
  FixedPageHandler() : page(5120, 'x') {
    for (size_t i = 0; i < page.size(); ++i) page[i] = (char)('a' + i % 26);
  }
  void event_httpRequest(MHttpRequest&, MHttpResponse& _response) override {
    _response.content.writeData(&page[0], (int)page.size());
  }

 private:
  std::string page;
};

}  // namespace

int main(int _argc, char** _argv) {
  int port = _argc > 1 ? atoi(_argv[1]) : 0;
  signal(SIGINT, onSignal);
  signal(SIGTERM, onSignal);
  try {
    FixedPageHandler handler;
    MHttpProcessor prototype;
    prototype.setHandler(&handler);
    MServer server(port, &prototype);
    server.start();
    printf("PORT %d\n", server.getPort());
    fflush(stdout);
    while (!stopSignal) sleepFor(0, 100);
    server.stop();
  } catch (const MException& e) {
    MException copy(e);
    copy.print(stdout, 0);
    return 1;
  }
  return 0;
}
