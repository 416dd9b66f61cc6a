#include <gtest/gtest.h>

#include <memory>

#include "lib/core/MList.h"
#include "lib/net/MSelector.h"
#include "lib/net/MTcpSocket.h"

TEST(MSelector, ReportsTheReadySocketsOfASet) {
  MTcpSocket listener;
  listener.bindSocket(0);
  listener.listenSocket(10);
  MTcpSocket a, b;
  a.openConnection("127.0.0.1", listener.getLocalPort());
  b.openConnection("127.0.0.1", listener.getLocalPort());
  std::unique_ptr<MSocket> serverA(listener.acceptConnection());
  std::unique_ptr<MSocket> serverB(listener.acceptConnection());

  MSelector selector;
  selector.add(serverA.get(), MSelector::modeRead);
  selector.add(serverB.get(), MSelector::modeRead);
  selector.add(serverB.get(), MSelector::modeRead);  // the same socket once
  selector.add(&a, MSelector::modeWrite);
  MList result;
  selector.select(MSelector::modeRead, 0, 0, result);
  EXPECT_EQ(0, result.getLength());

  b.writeData((void*)"x", 1);
  selector.select(MSelector::modeRead, 2, 0, result);
  ASSERT_EQ(1, result.getLength());
  EXPECT_EQ(serverB.get(), result.getObject(0));

  selector.select(MSelector::modeWrite, 0, 0, result);
  ASSERT_EQ(1, result.getLength());
  EXPECT_EQ(&a, result.getObject(0));

  selector.select(3, 0, 0, result);
  EXPECT_EQ(0, result.getLength());

  selector.remove(serverB.get(), MSelector::modeRead);
  selector.select(MSelector::modeRead, 0, 0, result);
  EXPECT_EQ(0, result.getLength());
  selector.clear();
  selector.select(MSelector::modeWrite, 0, 0, result);
  EXPECT_EQ(0, result.getLength());
}
