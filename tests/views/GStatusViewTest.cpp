#include "views/GStatusView.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/views/ViewTestSupport.h"
#include "views/GIds.h"
#include "views/GServerStatus.h"

using viewtest::Page;

namespace {

class GStatusViewTest : public viewtest::ViewTest {
 protected:
  std::string render() {
    MList params;
    params.setObject("session", session.id.getValue());
    params.setObject("page", GIds::MODULE_SERVER_STATUS);
    Page page;
    EXPECT_TRUE(view.process_request(session, page.out, params, contentType));
    return page.text();
  }

  GStatusView view;
};

// The account ids of the fixture's root: 0 the administrator, 1 the guest account.
TEST_F(GStatusViewTest, OnlyAdministratorsSeeTheStatus) {
  EXPECT_EQ("", render());
  logIn(1);
  EXPECT_EQ("", render());
  logIn(0);
  EXPECT_NE(std::string::npos, render().find("TITLE_SERVER_STATUS"));
  EXPECT_EQ(GIds::MODULE_SERVER_STATUS, session.viewState.getInt("tab_main"));
}

TEST_F(GStatusViewTest, ShowsTheFiguresItIsGiven) {
  logIn(0);
  GServerStatus status;
  status.startTime = 1000;
  status.connections = {{"idle", 1}, {"reading", 2}};
  status.sessions = {{"ordinary", 4}, {"privileged", 1}};
  GServerStatus::Queue queue;
  queue.name = "work";
  queue.depth = 3;
  queue.capacity = 256;
  queue.taken = 4;
  queue.waitedMicros = 10000;
  status.queues.push_back(queue);
  status.records = {{"image", 1234}};
  status.freeDiskBytes = 3LL * 1024 * 1024 * 1024 / 2;
  status.residentBytes = 512;
  status.requestsLastMinute = 77;
  status.version = "1.0";
  Page page;
  view.writeStatus(session, page.out, status, 1000 + 86400 + 2 * 3600 + 59);
  std::string text = page.text();
  auto row = [](const char* _name, const char* _value) {
    return std::string("<TR><TH scope=\"row\" class=\"statusName\">") + _name +
           "</TH><TD class=\"statusValue\">" + _value + "</TD></TR>\n";
  };
  for (const std::string& expected :
       {row("STATUS_UPTIME", "1 d 2 h"),
        row("STATUS_CONNECTIONS", "3 (1 STATUS_STAGE_idle, 2 STATUS_STAGE_reading, "
                                  "0 STATUS_STAGE_working, 0 STATUS_STAGE_writing)"),
        row("STATUS_SESSIONS", "5 (4 STATUS_SESSIONS_ordinary, 1 STATUS_SESSIONS_privileged)"),
        row("STATUS_QUEUE_work", "3 / 256 (STATUS_AVERAGE_WAIT 2.5 ms)"),
        row("STATUS_REQUESTS_PER_MINUTE", "77"), row("STATUS_DISK_FREE", "1.5 GB"),
        row("STATUS_MEMORY", "512 B"), row("STATUS_RECORDS_image", "1234"),
        row("STATUS_LAST_BACKUP", "STATUS_NO_BACKUP")}) {
    EXPECT_NE(std::string::npos, text.find(expected)) << expected << "\nin\n" << text;
  }
}

}  // namespace
