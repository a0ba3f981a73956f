// Common fixture of the access layer's tests: a fresh layer and a fresh
// scripted DB client for every test, report variables cleared, waits short.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "fake_dblib_test_support.h"
#include "platform/clock.h"
#include "pravel/pravel.h"
#include "qelt_test_hooks.h"

class PravelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* v : {"QELT_REGRESS", "QELT_REPORT_LEVEL", "QELT_REPORT_FILE", "QELT_STAT_ON",
                          "QELT_STAT_OUT", "ACAREA", "DSQUERY", "ORVO_OPS", "SRVX"})
      unsetenv(v);
    platform::plat_set_time_scale(0.001);
    qelt::qelt_reset_for_tests();
    fakedb::reset();
    g_handler_calls = 0;
  }

  // Connects slot 1 as the tool does: read-only login, server and database.
  void connect_tool_style() {
    pravel_setup(1, 1, "calread");
    pravel_setup(1, 2, "tuvelmark");
    pravel_query_setup(1, "comptab_qry", 1, QELT_SQL, "SRV1", "orvo_ops", nullptr);
  }

  // Connects slot 1 with login u/p to SRV1/db, the counting handler installed.
  void connect_counting() {
    pravel_setup(1, 1, "u");
    pravel_setup(1, 2, "p");
    pravel_query_setup(1, "m", 1, QELT_SQL, "SRV1", "db", counting_handler);
  }

  // A returning handler that counts its calls.
  static void counting_handler() { ++g_handler_calls; }
  static inline int g_handler_calls = 0;

  static std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }

  static std::string temp_path(const std::string& name) {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return ::testing::TempDir() + "pravel_" + info->name() + "_" + name;
  }
};
