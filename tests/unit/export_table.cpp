#include "exchange_fixture.h"

namespace focus::testing {

std::vector<ExportCall> every_export_taking_a_connection() {
  static SyncTime time{1, 2, 3, 4};
  static QueryResult result{};
  static SysInfo info{};
  return {
      {"continuous_focus", [](DeviceConnection* d) { return focus_continuous_focus(d); }},
      {"calib_mode", [](DeviceConnection* d) { return focus_calib_mode(d); }},
      {"calib_move", [](DeviceConnection* d) { return focus_calib_move(d, 1, 2); }},
      {"calib_save", [](DeviceConnection* d) { return focus_calib_save(d); }},
      {"laser_on", [](DeviceConnection* d) { return focus_laser_on(d, 1); }},
      {"laser_off", [](DeviceConnection* d) { return focus_laser_off(d); }},
      {"laser_power", [](DeviceConnection* d) { return focus_laser_power(d, 1); }},
      {"single_range", [](DeviceConnection* d) { return focus_single_range(d); }},
      {"continuous_range", [](DeviceConnection* d) { return focus_continuous_range(d); }},
      {"lift_control", [](DeviceConnection* d) { return focus_lift_control(d, 1); }},
      {"ext_trigger_set", [](DeviceConnection* d) { return focus_ext_trigger_set(d); }},
      {"ext_trigger_fire", [](DeviceConnection* d) { return focus_ext_trigger_fire(d); }},
      {"auto_descend", [](DeviceConnection* d) { return focus_auto_descend(d); }},
      {"fixed_cycle", [](DeviceConnection* d) { return focus_fixed_cycle(d, 1, 2); }},
      {"sync_time_set", [](DeviceConnection* d) { return focus_sync_time_set(d, &time); }},
      {"sync_time_get", [](DeviceConnection* d) { return focus_sync_time_get(d); }},
      {"power_off", [](DeviceConnection* d) { return focus_power_off(d); }},
      {"single_focus", [](DeviceConnection* d) { return focus_single_focus(d); }},
      {"single_focus_timeout", [](DeviceConnection* d) { return focus_single_focus_timeout(d, 100); }},
      {"query_result", [](DeviceConnection* d) { return focus_query_result(d, &result); }},
      {"read_sys_info", [](DeviceConnection* d) { return focus_read_sys_info(d, &info); }},
      {"set_wait_mode", [](DeviceConnection* d) { return focus_set_wait_mode(d, FOCUS_WAIT_PROMPT); }},
  };
}

}  // namespace focus::testing
