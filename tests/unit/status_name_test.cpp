// focus_status_name(): defined in the header, so a host names a status
// without the library; every documented code by its own name.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "focus.h"

namespace {

struct NamedStatus {
  std::int32_t status;
  const char* name;
};

TEST(StatusName, EveryDocumentedStatusByItsName) {
  const NamedStatus table[] = {
      {0, "FOCUS_OK"},
      {-1, "FOCUS_ERR_ARG"},
      {-5, "FOCUS_ERR_NOT_OPEN"},
      {-6, "FOCUS_ERR_DEVICE"},
      {-7, "FOCUS_ERR_WRITE"},
      {-8, "FOCUS_ERR_TIMEOUT"},
      {-9, "FOCUS_ERR_NO_MEMORY"},
  };
  for (const NamedStatus& row : table) {
    EXPECT_EQ(std::string(focus_status_name(row.status)), row.name) << row.status;
  }
}

TEST(StatusName, AnyOtherValueIsUnknown) {
  for (std::int32_t status : {1, -2, -3, -4, -10, 100, INT32_MIN, INT32_MAX}) {
    EXPECT_EQ(std::string(focus_status_name(status)), "unknown status") << status;
  }
}

}  // namespace
