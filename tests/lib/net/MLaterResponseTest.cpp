#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "NetTestSupport.h"
#include "lib/net/MHttpProcessor.h"
#include "lib/net/MHttpRequest.h"
#include "lib/net/MHttpResponse.h"
#include "lib/net/MLaterResponse.h"
#include "lib/net/MServer.h"
#include "lib/platform/MClock.h"

namespace {

// A gate that the test opens: the work waits at it, so that the test decides when the work
// is done instead of guessing with sleeps.
class Gate {
 public:
  void open() {
    std::lock_guard<std::mutex> lock(mutex);
    opened = true;
    changed.notify_all();
  }
  void pass() {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return opened; });
  }

 private:
  std::mutex mutex;
  std::condition_variable changed;
  bool opened = false;
};

// Answers "/slow" later, from a thread of its own that waits at the gate; every other path
// at once. The last step writes "done:" and the path, so the order of answers shows.
class SlowHandler : public MHttpHandler {
 public:
  ~SlowHandler() override {
    gate.open();
    for (std::thread& t : workers) t.join();
  }
  void event_httpRequest(MHttpRequest& _request, MHttpResponse& _response) override {
    std::string path = _request.path.getValue();
    if (path.compare(0, 5, "/slow") != 0) {
      _response.content.writeData((void*)path.data(), (int)path.size());
      return;
    }
    std::shared_ptr<MLaterResponse> later = _response.defer();
    ++started;
    workers.emplace_back([this, later, path] {
      gate.pass();
      later->complete([this, path](MHttpRequest&, MHttpResponse& _answer) {
        ++finished;
        std::string text = "done:" + path;
        _answer.content.writeData((void*)text.data(), (int)text.size());
      });
      ++completed;
    });
  }

  Gate gate;
  std::vector<std::thread> workers;
  std::atomic<int> started{0};
  std::atomic<int> completed{0};
  std::atomic<int> finished{0};
};

bool waitFor(const std::function<bool()>& _condition, double _seconds = 5) {
  double deadline = monotonicSeconds() + _seconds;
  while (!_condition()) {
    if (monotonicSeconds() > deadline) return false;
    sleepFor(0, 2);
  }
  return true;
}

std::string get(const std::string& _path) { return "GET " + _path + " HTTP/1.1\r\nHost: t\r\n\r\n"; }

}  // namespace

TEST(MLaterResponse, TheProcessorWritesNothingUntilTheWorkIsDoneAndKeepsTheOrder) {
  SlowHandler handler;
  ProcessorHarness h(&handler);
  // Two requests in one packet: the second waits behind the first, however fast it is.
  h.feed(get("/slow") + get("/fast"));
  h.run();
  EXPECT_EQ("", h.drain());
  EXPECT_EQ(MHttpProcessor::STATE_WAIT_RESPONSE, h.processor->getState());
  EXPECT_EQ("waitResponse", std::string(MHttpProcessor::getStateName(h.processor->getState())));
  EXPECT_FALSE(h.processor->canProcess());

  handler.gate.open();
  ASSERT_TRUE(waitFor([&] { return handler.completed == 1; }));
  h.run();
  std::string out = h.drain();
  size_t first = out.find("done:/slow");
  size_t second = out.find("\r\n\r\n/fast");
  ASSERT_NE(std::string::npos, first) << out;
  ASSERT_NE(std::string::npos, second) << out;
  EXPECT_LT(first, second);
  EXPECT_NE(std::string::npos, out.find("Content-Length: 10\r\n"));
  EXPECT_EQ(MHttpProcessor::STATE_NEW_MESSAGE, h.processor->getState());
}

TEST(MLaterResponse, AConnectionThatGoesAbandonsItsAnswer) {
  SlowHandler handler;
  {
    ProcessorHarness h(&handler);
    h.feed(get("/slow"));
    h.run();
    ASSERT_EQ(1, handler.started.load());
  }
  // The connection is gone before the work ends: its last step never runs.
  handler.gate.open();
  ASSERT_TRUE(waitFor([&] { return handler.completed == 1; }));
  EXPECT_EQ(0, handler.finished.load());
}

TEST(MLaterResponse, CompleteCountsOnceAndNotAfterAbandon) {
  std::shared_ptr<MLaterResponse> later = std::make_shared<MLaterResponse>(nullptr);
  int runs = 0;
  later->complete([&](MHttpRequest&, MHttpResponse&) { runs += 1; });
  later->complete([&](MHttpRequest&, MHttpResponse&) { runs += 100; });
  ASSERT_TRUE(later->isReady());
  MLaterResponse::Finish finish = later->take();
  MHttpRequest request;
  MHttpResponse response;
  finish(request, response);
  EXPECT_EQ(1, runs);
  EXPECT_FALSE((bool)later->take());

  std::shared_ptr<MLaterResponse> gone = std::make_shared<MLaterResponse>(nullptr);
  gone->abandon();
  gone->complete([&](MHttpRequest&, MHttpResponse&) { runs += 1000; });
  EXPECT_TRUE(gone->isAbandoned());
  EXPECT_FALSE(gone->isReady());
}

// On the real server: while one answer waits for its work, the loop serves everybody else;
// the waiting answer goes out when the work is done; a client that leaves in the meantime costs nothing.
TEST(MLaterResponse, TheServerLoopServesOthersWhileWorkIsUnderWay) {
  SlowHandler handler;
  MHttpProcessor prototype;
  prototype.setHandler(&handler);
  {
    MServer server(0, &prototype);
    server.start();
    HttpClient slow, fast, leaving;
    ASSERT_TRUE(slow.connectTo(server.getPort()));
    ASSERT_TRUE(fast.connectTo(server.getPort()));
    ASSERT_TRUE(leaving.connectTo(server.getPort()));
    ASSERT_TRUE(slow.send(get("/slow?a")));
    ASSERT_TRUE(leaving.send(get("/slow?b")));
    ASSERT_TRUE(waitFor([&] { return handler.started == 2; }));

    // The work is held at the gate: other clients are answered meanwhile, several times.
    for (int i = 0; i < 3; ++i) {
      ASSERT_TRUE(fast.send(get("/fast")));
      EXPECT_EQ("/fast", responseBody(fast.readResponse()));
    }
    EXPECT_EQ("", slow.readSome(100, 0.05));
    leaving.close();
    ASSERT_TRUE(waitFor([&] { return server.getConnectionCount() == 2; }));

    handler.gate.open();
    EXPECT_EQ("done:/slow", responseBody(slow.readResponse()));
    ASSERT_TRUE(waitFor([&] { return handler.completed == 2; }));
    EXPECT_EQ(1, handler.finished.load());
    // The connection goes on as usual.
    ASSERT_TRUE(slow.send(get("/after")));
    EXPECT_EQ("/after", responseBody(slow.readResponse()));
    server.stop();
    ASSERT_TRUE(waitFor([&] { return server.isFinished(); }));
  }
}
