/* A C host linked against the import library focus.lib, as a host built
 * with focus.h and the .lib finds the DLL at load time: calls that need no
 * device, through the header's dllimport declarations. */
#include <stdio.h>
#include <string.h>

#include "focus.h"

int main(void) {
  int failed = 0;
  const char* text = focus_get_error(NULL);
  QueryResult result;
  SysInfo info;

  if (text == NULL || strcmp(text, "null handle") != 0) {
    printf("FAIL focus_get_error(NULL) -> \"null handle\"\n");
    ++failed;
  }
  if (focus_init(NULL) != NULL) {
    printf("FAIL focus_init(NULL) -> NULL\n");
    ++failed;
  }
  if (focus_laser_off(NULL) != FOCUS_ERR_ARG || focus_single_focus_timeout(NULL, 10) != FOCUS_ERR_ARG ||
      focus_query_result(NULL, &result) != FOCUS_ERR_ARG ||
      focus_read_sys_info(NULL, &info) != FOCUS_ERR_ARG) {
    printf("FAIL calls with a NULL handle -> FOCUS_ERR_ARG\n");
    ++failed;
  }
  focus_close(NULL);
  if (failed == 0) printf("import host: every call answered as declared\n");
  return failed == 0 ? 0 : 1;
}
