// The window program's own application object, on the offscreen platform,
// for every test here: exceptions escaping event handlers reach the capture.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "bugreport/qt/reporting_application.h"

namespace {

class ReportingEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    app_ = std::make_unique<zephron::bugreport::qt::TReportingApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[24] = "bugreport_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<zephron::bugreport::qt::TReportingApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new ReportingEnvironment);

}  // namespace
