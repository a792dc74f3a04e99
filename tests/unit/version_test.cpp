// The version macros of focus.h: the string spells the three numbers, and
// the build (which reads them from the header) agrees. FOCUS_PROJECT_VERSION
// is CMake's project version, passed in by tests/CMakeLists.txt.
#include <gtest/gtest.h>

#include <string>

#include "focus.h"

namespace {

TEST(VersionMacros, StringSpellsTheThreeNumbers) {
  const std::string from_numbers = std::to_string(FOCUS_VERSION_MAJOR) + "." +
                                   std::to_string(FOCUS_VERSION_MINOR) + "." +
                                   std::to_string(FOCUS_VERSION_PATCH);
  EXPECT_EQ(from_numbers, FOCUS_VERSION_STRING);
}

TEST(VersionMacros, AgreeWithTheProjectVersion) {
  EXPECT_STREQ(FOCUS_PROJECT_VERSION, FOCUS_VERSION_STRING);
}

}  // namespace
