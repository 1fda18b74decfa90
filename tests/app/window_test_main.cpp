// Entry point of the window tests: a private X server and the application
// object around the GoogleTest run.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "engine/pipeline/network_startup.h"
#include "tests/app/x_display.h"
#include "tests/helpers/peers.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Listing the cases (CTest does it at build time) needs no display.
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();

  movrek::test::TXDisplay display;
  if (!display.Started()) {
    std::fprintf(stderr, "window tests: %s\n", display.Problem().c_str());
    // On CI a missing display server is a setup fault, not a reason to skip.
    return movrek::test::RunningInCi() ? 1 : 0;
  }
  ::setenv("QT_QPA_PLATFORM", "xcb", 1);
  movrek::TNetworkStartup network;
  QApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
