// Whole exchanges on the scripted line: the fuzzer picks exports one after
// another and answers every request with its own bytes, cut into arrivals
// at times it chooses. Whatever comes, each call returns a status its
// header documents within its documented wait, sets the port's timeouts
// back, stores only a documented message and fills SysInfo only on success.
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "connection/device_connection.h"
#include "connection/timeout_profiles.h"
#include "focus.h"
#include "fuzz_check.h"
#include "fuzz_input.h"
#include "protocol/frame_crc.h"
#include "scripted_line.h"

namespace {

using focus::fuzz::FuzzInput;
using focus::protocol::Bytes;
using focus::testing::Call;
using focus::testing::ScriptedLine;

// A timeout record the library never sets itself.
constexpr focus::platform::SerialTimeouts kFoundTimeouts{7, 6, 5, 4, 3};

enum class Family { simple, single_focus, query, sys_info };

struct Export {
  const char* name;
  Family family;
  std::function<std::int32_t(DeviceConnection*, FuzzInput&, std::uint64_t& bound_ms)> call;
};

SysInfo g_info;
QueryResult g_result;

template <class F>
Export simple(const char* name, F f) {
  return {name, Family::simple, [f](DeviceConnection* d, FuzzInput& in, std::uint64_t& bound) {
            bound = 30 * 50;
            return f(d, in);
          }};
}

const std::vector<Export>& exports() {
  static const std::vector<Export> table = {
      simple("continuous_focus", [](DeviceConnection* d, FuzzInput&) { return focus_continuous_focus(d); }),
      simple("calib_mode", [](DeviceConnection* d, FuzzInput&) { return focus_calib_mode(d); }),
      simple("calib_move",
             [](DeviceConnection* d, FuzzInput& in) { return focus_calib_move(d, in.word(), in.word()); }),
      simple("calib_save", [](DeviceConnection* d, FuzzInput&) { return focus_calib_save(d); }),
      simple("laser_on", [](DeviceConnection* d, FuzzInput& in) { return focus_laser_on(d, in.byte()); }),
      simple("laser_off", [](DeviceConnection* d, FuzzInput&) { return focus_laser_off(d); }),
      simple("laser_power",
             [](DeviceConnection* d, FuzzInput& in) { return focus_laser_power(d, in.word()); }),
      simple("single_range", [](DeviceConnection* d, FuzzInput&) { return focus_single_range(d); }),
      simple("continuous_range", [](DeviceConnection* d, FuzzInput&) { return focus_continuous_range(d); }),
      simple("lift_control",
             [](DeviceConnection* d, FuzzInput& in) { return focus_lift_control(d, in.byte()); }),
      simple("ext_trigger_set", [](DeviceConnection* d, FuzzInput&) { return focus_ext_trigger_set(d); }),
      simple("ext_trigger_fire", [](DeviceConnection* d, FuzzInput&) { return focus_ext_trigger_fire(d); }),
      simple("auto_descend", [](DeviceConnection* d, FuzzInput&) { return focus_auto_descend(d); }),
      simple("fixed_cycle",
             [](DeviceConnection* d, FuzzInput& in) { return focus_fixed_cycle(d, in.word(), in.word()); }),
      simple("sync_time_set",
             [](DeviceConnection* d, FuzzInput& in) {
               const SyncTime time{in.word(), in.word(), in.word(), in.word()};
               return focus_sync_time_set(d, &time);
             }),
      simple("sync_time_get", [](DeviceConnection* d, FuzzInput&) { return focus_sync_time_get(d); }),
      simple("power_off", [](DeviceConnection* d, FuzzInput&) { return focus_power_off(d); }),
      {"single_focus", Family::single_focus,
       [](DeviceConnection* d, FuzzInput&, std::uint64_t& bound) {
         bound = 5000 + 20;  // the limit, plus the pass that reaches it
         return focus_single_focus(d);
       }},
      {"single_focus_timeout", Family::single_focus,
       [](DeviceConnection* d, FuzzInput& in, std::uint64_t& bound) {
         const std::uint32_t limit = 1 + in.word() % 6000;  // 0 would wait for ever
         bound = limit + 20;
         return focus_single_focus_timeout(d, limit);
       }},
      {"query_result", Family::query,
       [](DeviceConnection* d, FuzzInput&, std::uint64_t& bound) {
         bound = 5 * 100;
         return focus_query_result(d, &g_result);
       }},
      {"read_sys_info", Family::sys_info,
       [](DeviceConnection* d, FuzzInput&, std::uint64_t& bound) {
         bound = 20 * 100;
         return focus_read_sys_info(d, &g_info);
       }},
  };
  return table;
}

bool documented(Family family, std::int32_t status) {
  switch (family) {
    // FOCUS_ERR_NO_MEMORY is documented too, but memory is never short
    // here: seeing it would mean an exception escaped from somewhere else.
    case Family::simple:
    case Family::single_focus:
      return status == FOCUS_OK || status == FOCUS_ERR_DEVICE || status == FOCUS_ERR_TIMEOUT ||
             status == FOCUS_ERR_WRITE;
    case Family::query: return status == FOCUS_OK || status == FOCUS_ERR_TIMEOUT;
    case Family::sys_info:
      return status == FOCUS_OK || status == FOCUS_ERR_TIMEOUT || status == FOCUS_ERR_WRITE;
  }
  return false;
}

bool is_device_failure_message(const std::string& text) {
  const std::string prefix = "单次对焦失败，设备错误码:";
  if (text.rfind(prefix, 0) != 0) return false;
  const std::string digits = text.substr(prefix.size());
  if (digits.empty() || digits.size() > 3 || (digits.size() > 1 && digits[0] == '0')) return false;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
  }
  return std::stoi(digits) <= 255;
}

// Does `bytes` hold a CRC-valid device frame whose payload `test` accepts?
template <class Test>
bool holds_device_frame(const Bytes& bytes, Test test) {
  for (std::size_t pos = 0; pos + focus::protocol::kFrameOverhead <= bytes.size(); ++pos) {
    focus::protocol::Frame frame;
    const std::size_t size = bytes[pos + 2] + focus::protocol::kFrameOverhead;
    if (bytes[pos] != 0x5A || bytes[pos + 1] == 0x01 || pos + size > bytes.size()) continue;
    if (focus::protocol::decode_frame(bytes.data() + pos, size, frame) && test(frame.payload)) return true;
  }
  return false;
}

// One answer: a few segments, each raw bytes or a well-formed device frame
// (so that the search gets past the CRC), each cut into pieces that arrive
// at chosen delays.
void schedule_answer(ScriptedLine& line, FuzzInput& in) {
  std::uint64_t at = line.now();
  const std::size_t segments = in.pick(4);
  for (std::size_t s = 0; s < segments && !in.empty(); ++s) {
    Bytes bytes;
    if (in.pick(3) == 0) {
      bytes = in.bytes(in.byte());
    } else {
      const std::uint8_t direction = in.pick(8) == 0 ? 0x01 : 0x02;
      const std::uint8_t command = in.byte();
      bytes = focus::testing::device_frame(command, in.bytes(in.pick(24)), direction);
    }
    std::size_t from = 0;
    while (from < bytes.size()) {
      at += in.word() % 2500;
      const std::size_t piece = in.empty() ? bytes.size() - from : 1 + in.pick(bytes.size() - from);
      line.arrive_at(at, Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                               bytes.begin() + static_cast<std::ptrdiff_t>(from + piece)));
      from += piece;
    }
  }
}

Bytes bytes_read_since(const ScriptedLine& line, std::size_t first_call) {
  Bytes all;
  for (std::size_t i = first_call; i < line.calls().size(); ++i) {
    const Call& call = line.calls()[i];
    if (call.kind == Call::read) all.insert(all.end(), call.bytes.begin(), call.bytes.end());
  }
  return all;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace focus;
  FuzzInput in(data, size);
  ScriptedLine line;
  const std::uint8_t faults = in.byte();
  if (faults & 1) line.limit_writes(in.pick(16));
  const bool get_timeouts_fails = faults & 2;
  line.fail_get_timeouts(get_timeouts_fails);
  line.fail_reads((faults & 0x1C) == 0x1C);  // rarely: every read fails

  DeviceConnection* dev = connection::open_connection(line, "COM1");
  FUZZ_CHECK(dev != nullptr);
  line.on_write([&in](ScriptedLine& l, const Bytes&) { schedule_answer(l, in); });

  for (int calls = 0; calls < 4 && !in.empty(); ++calls) {
    const Export& e = exports()[in.pick(exports().size())];
    line.set_current_timeouts(kFoundTimeouts);
    schedule_answer(line, in);  // bytes already on the line before the call
    const std::string error_before = focus_get_error(dev);
    std::memset(&g_info, 0xA5, sizeof g_info);
    const SysInfo untouched = g_info;
    const std::size_t first_call = line.calls().size();
    const std::uint64_t start = line.now();
    std::uint64_t bound = 0;

    const std::int32_t status = e.call(dev, in, bound);

    const std::uint64_t spent = line.now() - start;
    const std::string error = focus_get_error(dev);
    if (std::getenv("FOCUS_FUZZ_VERBOSE")) {
      std::fprintf(stderr, "  %s: %d after %llu ms, \"%s\"\n", e.name, status,
                   static_cast<unsigned long long>(spent), error.c_str());
    }
    if (!documented(e.family, status)) {
      std::fprintf(stderr, "%s returned %d\n", e.name, status);
      FUZZ_CHECK(documented(e.family, status));
    }
    // The wait is bounded, and a time-out comes only at its end.
    FUZZ_CHECK(spent <= bound);
    if (status == FOCUS_ERR_TIMEOUT) FUZZ_CHECK(spent >= bound - (e.family == Family::single_focus ? 20 : 0));

    // The timeouts are what they were, or the standing profile when they
    // could not be read.
    bool switched = false;
    for (std::size_t i = first_call; i < line.calls().size(); ++i) {
      switched = switched || line.calls()[i].kind == Call::set_timeouts;
    }
    FUZZ_CHECK(line.timeouts() ==
               (switched && get_timeouts_fails ? connection::kStandingTimeouts : kFoundTimeouts));

    // Only a documented message, and only on the paths that store one.
    if (status == FOCUS_ERR_WRITE) {
      FUZZ_CHECK(error == "串口写入失败");
    } else if (e.family == Family::single_focus && status == FOCUS_ERR_DEVICE) {
      FUZZ_CHECK(error == "单次对焦被设备拒绝" || is_device_failure_message(error));
    } else if (e.family == Family::single_focus && status == FOCUS_ERR_TIMEOUT) {
      FUZZ_CHECK(error == "单次对焦等待超时");
    } else {
      FUZZ_CHECK(error == error_before);
    }

    // A success or refusal rests on a reply that really came in this call.
    const Bytes read = bytes_read_since(line, first_call);
    const auto ack_with = [](bool accepted) {
      return [accepted](const Bytes& p) { return p.size() >= 3 && p[0] == 1 && (p[1] == 1) == accepted; };
    };
    if (e.family == Family::simple && (status == FOCUS_OK || status == FOCUS_ERR_DEVICE)) {
      FUZZ_CHECK(holds_device_frame(read, ack_with(status == FOCUS_OK)));
    }
    if (e.family == Family::single_focus && status == FOCUS_OK) {
      FUZZ_CHECK(
          holds_device_frame(read, [](const Bytes& p) { return p.size() >= 3 && p[0] == 2 && p[1] == 1; }));
    }
    if (e.family == Family::query && status == FOCUS_OK) FUZZ_CHECK(g_result.kind == 2 || g_result.kind == 3);
    if (e.family == Family::sys_info && status == FOCUS_OK) {
      FUZZ_CHECK(holds_device_frame(read, [](const Bytes& p) {
        return p.size() >= 15 && p[0] == g_info.info1 && p[14] == (g_info.info11 >> 8);
      }));
    } else {
      FUZZ_CHECK(std::memcmp(&g_info, &untouched, sizeof g_info) == 0);
    }
  }
  connection::close_connection(dev);
  return 0;
}
