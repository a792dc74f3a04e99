/* The public header used from C99: it compiles on its own, its size checks
 * hold in C, C code links against the exports and names a status with
 * focus_status_name() from the header alone. */
#include <string.h>

#include "focus.h"

static void FOCUS_CALL count_events(void* user, uint32_t event, const uint8_t* bytes, uint32_t count,
                                    uint64_t tick_ms) {
  (void)event;
  (void)bytes;
  (void)count;
  (void)tick_ms;
  ++*(int*)user;
}

int focus_c_caller_sees_the_api(void) {
  int events = 0;
  QueryResult result;
  SysInfo info;
  return focus_init(NULL) == NULL && strcmp(focus_get_error(NULL), "null handle") == 0 &&
         focus_query_result(NULL, &result) == FOCUS_ERR_ARG &&
         focus_read_sys_info(NULL, &info) == FOCUS_ERR_ARG &&
         focus_set_wait_mode(NULL, FOCUS_WAIT_PROMPT) == FOCUS_ERR_ARG && FOCUS_WAIT_PACED == 0 &&
         sizeof result == 5 && sizeof info == 15 &&
         strcmp(focus_status_name(FOCUS_ERR_TIMEOUT), "FOCUS_ERR_TIMEOUT") == 0 &&
         strcmp(focus_status_name(-2), "unknown status") == 0 &&
         focus_set_trace(NULL, count_events, &events) == FOCUS_ERR_ARG && events == 0;
}
