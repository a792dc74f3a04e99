#include "command_catalog.h"

#include <array>

#include "hex_text.h"
#include "protocol/command_codes.h"

namespace focus::text {

namespace {

namespace codes = focus::protocol;

constexpr std::array<CommandInfo, 19> kCatalog{{
    {codes::kSingleFocus, "single-focus", "focus_single_focus"},
    {codes::kContinuousFocus, "continuous-focus", "focus_continuous_focus"},
    {codes::kCalibMode, "calib-mode", "focus_calib_mode"},
    {codes::kCalibMove, "calib-move", "focus_calib_move"},
    {codes::kCalibSave, "calib-save", "focus_calib_save"},
    {codes::kLaserOn, "laser-on", "focus_laser_on"},
    {codes::kLaserOff, "laser-off", "focus_laser_off"},
    {codes::kLaserPower, "laser-power", "focus_laser_power"},
    {codes::kSingleRange, "single-range", "focus_single_range"},
    {codes::kContinuousRange, "continuous-range", "focus_continuous_range"},
    {codes::kLiftControl, "lift-control", "focus_lift_control"},
    {codes::kExtTriggerSet, "ext-trigger-set", "focus_ext_trigger_set"},
    {codes::kExtTriggerFire, "ext-trigger-fire", "focus_ext_trigger_fire"},
    {codes::kAutoDescend, "auto-descend", "focus_auto_descend"},
    {codes::kFixedCycle, "fixed-cycle", "focus_fixed_cycle"},
    {codes::kSyncTimeSet, "sync-time-set", "focus_sync_time_set"},
    {codes::kSyncTimeGet, "sync-time-get", "focus_sync_time_get"},
    {codes::kPowerOff, "power-off", "focus_power_off"},
    {codes::kSysInfo, "sys-info", "focus_read_sys_info"},
}};

}  // namespace

std::span<const CommandInfo> command_catalog() {
  return kCatalog;
}

const CommandInfo* find_command(std::uint8_t code) {
  for (const CommandInfo& info : kCatalog) {
    if (info.code == code) return &info;
  }
  return nullptr;
}

const CommandInfo* find_command(std::string_view name) {
  for (const CommandInfo& info : kCatalog) {
    if (info.name == name) return &info;
  }
  return nullptr;
}

std::optional<std::uint8_t> parse_command(std::string_view text) {
  if (const CommandInfo* info = find_command(text)) return info->code;
  return parse_byte(text);
}

}  // namespace focus::text
