/* A host program as users write one, built outside this tree against the
 * library as installed (or as a subproject): opens the port named on the
 * command line, switches the laser off, reads the system information and
 * prints it. Exit 0 only when both calls succeed. */
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include "focus.h"

/* What a host sees is include/ alone, never the library's own sources. */
#if defined(__has_include)
#if __has_include("protocol/frame.h") || __has_include("connection/device_connection.h")
#error "the library's private headers (src/) are visible to a host"
#endif
#endif

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s PORT\n", argv[0]);
    return 2;
  }
  DeviceConnection* dev = focus_init(argv[1]);
  if (dev == NULL) {
    fprintf(stderr, "consumer: cannot open %s: %s\n", argv[1], strerror(errno));
    return 1;
  }
  const int32_t laser = focus_laser_off(dev);
  SysInfo info;
  memset(&info, 0, sizeof info);
  const int32_t sys = focus_read_sys_info(dev, &info);
  printf("consumer (focus %s): laser off %d, sys info %d: %u %u %u %u %u %u %u %u %u %u %u\n",
         FOCUS_VERSION_STRING, (int)laser, (int)sys, info.info1, info.info2, info.info3, info.info4,
         info.info5, info.info6, info.info7, info.info8, info.info9, info.info10, info.info11);
  if (laser != FOCUS_OK || sys != FOCUS_OK) printf("consumer: FAILED: %s\n", focus_get_error(dev));
  focus_close(dev);
  return laser == FOCUS_OK && sys == FOCUS_OK ? 0 : 1;
}
