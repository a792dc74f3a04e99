#include "traffic_trace.h"

#include <vector>

#include "frame_scan.h"
#include "frame_text.h"
#include "hex_text.h"

namespace focus::ctl {

namespace {

bool is_result(const protocol::Frame& frame) {
  return frame.direction != protocol::kHostDirection && frame.payload.size() >= 3 &&
         (frame.payload[0] == 2 || frame.payload[0] == 3);
}

}  // namespace

TrafficTrace::TrafficTrace(bool print, std::FILE* out) : print_(print), out_(out) {}

void TrafficTrace::attach(DeviceConnection* dev) {
  focus_set_trace(dev, &TrafficTrace::on_event, this);
}

void TrafficTrace::detach(DeviceConnection* dev) {
  take_pieces(true);
  focus_set_trace(dev, nullptr, nullptr);
}

void TrafficTrace::begin_call() {
  counts_ = LineCounts{};
}

LineCounts TrafficTrace::call_counts() {
  take_pieces(true);
  return counts_;
}

bool TrafficTrace::next_result_time(Clock::time_point& at) {
  if (result_times_.empty()) return false;
  at = result_times_.front();
  result_times_.pop_front();
  return true;
}

std::size_t TrafficTrace::results_left_from(Clock::time_point at) const {
  std::size_t count = 0;
  while (count < result_times_.size() && result_times_[count] == at) ++count;
  return count;
}

void FOCUS_CALL TrafficTrace::on_event(void* user, std::uint32_t event, const std::uint8_t* bytes,
                                       std::uint32_t count, std::uint64_t) {
  // Nothing may leave a callback of the library.
  try {
    static_cast<TrafficTrace*>(user)->event(event, bytes, count);
  } catch (...) {
  }
}

void TrafficTrace::event(std::uint32_t event, const std::uint8_t* bytes, std::uint32_t count) {
  now_ = Clock::now();
  switch (event) {
    case FOCUS_TRACE_WRITE: {
      take_pieces(true);
      const std::vector<text::ScannedPiece> pieces = text::scan_frames(bytes, count);
      const std::string meaning = pieces.size() == 1 && pieces[0].kind == text::ScannedPiece::Kind::frame
                                      ? text::describe_frame(pieces[0].frame)
                                      : "";
      print_line(">>", text::to_hex(bytes, count), meaning);
      return;
    }
    case FOCUS_TRACE_READ:
      pending_.insert(pending_.end(), bytes, bytes + count);
      counts_.bytes += count;
      take_pieces(false);
      return;
    case FOCUS_TRACE_PURGE:
      // Results read and not yet taken are dropped with the receive buffer.
      take_pieces(true);
      result_times_.clear();
      return;
    case FOCUS_TRACE_CLOSE: take_pieces(true); return;
    default: return;  // timeouts and sleeps: not traffic
  }
}

void TrafficTrace::take_pieces(bool all) {
  if (pending_.empty()) return;
  const std::vector<text::ScannedPiece> pieces = text::scan_frames(pending_.data(), pending_.size());
  protocol::Bytes unfinished;
  for (const text::ScannedPiece& piece : pieces) {
    using Kind = text::ScannedPiece::Kind;
    switch (piece.kind) {
      case Kind::frame:
        if (piece.frame.direction == protocol::kHostDirection) {
          ++counts_.echoed;
          print_line("<<", text::to_hex(piece.bytes),
                     "!! our own request came back (echo): " + text::describe_frame(piece.frame));
          break;
        }
        ++counts_.frames;
        if (is_result(piece.frame)) result_times_.push_back(now_);
        print_line("<<", text::to_hex(piece.bytes), text::describe_frame(piece.frame));
        break;
      case Kind::bad_crc:
        ++counts_.bad_crc;
        ++bad_frames_total_;
        print_line("<<", text::to_hex(piece.bytes), "!! bad CRC: " + text::describe_frame(piece.frame));
        break;
      case Kind::stray:
        counts_.stray += piece.bytes.size();
        print_line("<<", text::to_hex(piece.bytes), "!! stray bytes");
        break;
      case Kind::incomplete:
        if (!all) {
          unfinished = piece.bytes;
          break;
        }
        counts_.stray += piece.bytes.size();
        print_line("<<", text::to_hex(piece.bytes), "!! a frame cut short");
        break;
    }
  }
  pending_ = std::move(unfinished);
}

void TrafficTrace::print_line(const char* direction, const std::string& hex, const std::string& meaning) {
  if (!print_) return;
  const double seconds = std::chrono::duration<double>(now_ - started_).count();
  std::fprintf(out_, "trace %9.3f s  %s %-32s  %s\n", seconds, direction, hex.c_str(), meaning.c_str());
  std::fflush(out_);
}

std::string diagnose_timeout(const LineCounts& c) {
  if (c.bytes == 0) {
    return "no byte came back. Likely causes, most likely first:\n"
           "  - the wrong port: `focusctl ports` lists the serial ports of this machine\n"
           "  - the device has no power, or the cable is loose or not connected to it\n"
           "  - RS-485: A and B swapped; RS-232: TX and RX not crossed\n"
           "  - the device does not run at 115200 baud, 8 data bits, no parity, 1 stop bit\n";
  }
  const auto counted = [](std::uint64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
  };
  std::string text =
      counted(c.bytes, "byte", "bytes") + " came back: " + counted(c.frames + c.bad_crc, "frame", "frames") +
      ", " + std::to_string(c.bad_crc) + " with a bad CRC, " + counted(c.stray, "stray byte", "stray bytes");
  if (c.echoed > 0) text += ", " + std::to_string(c.echoed) + " of our own requests echoed";
  text += ". Likely causes, most likely first:\n";
  if (c.echoed > 0) {
    text +=
        "  - the adapter echoes what it sends (RS-485 half duplex, echo on): the request came back and the "
        "device did not answer; check the adapter's echo setting and the device's power and address\n";
  }
  if (c.bad_crc > 0 || c.stray > 0) {
    text +=
        "  - the line speed or format: the device must run at 115200 baud, 8 data bits, no parity, 1 stop "
        "bit\n"
        "  - RS-485: A and B swapped, or no common ground / termination; a long or unshielded cable picking "
        "up noise\n";
  }
  if (c.frames > 0) {
    text +=
        "  - the device answered, but not this call: another program or a stream (continuous mode) is on "
        "the line, or the device does not know this command (`focusctl --trace` shows the frames)\n";
  }
  text += "  - the wrong port: `focusctl ports` lists the serial ports of this machine\n";
  return text;
}

}  // namespace focus::ctl
