// Reads a fuzzer's input as a sequence of small decisions: a byte, a number
// in a range, a run of bytes. When the input runs out every read gives 0 or
// nothing, so that every input, however short, is a complete case.
#pragma once

#include <cstddef>
#include <cstdint>

#include "protocol/frame.h"

namespace focus::fuzz {

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool empty() const { return pos_ >= size_; }
  std::size_t left() const { return size_ - pos_; }

  std::uint8_t byte() { return empty() ? 0 : data_[pos_++]; }
  std::uint16_t word() {
    const std::uint8_t low = byte();
    return static_cast<std::uint16_t>(low | (byte() << 8));
  }
  // A number from 0 to `limit` - 1 (`limit` at most 256).
  std::size_t pick(std::size_t limit) { return limit == 0 ? 0 : byte() % limit; }
  // Up to `count` bytes, fewer when the input ends.
  protocol::Bytes bytes(std::size_t count) {
    const std::size_t take = count < left() ? count : left();
    protocol::Bytes out(data_ + pos_, data_ + pos_ + take);
    pos_ += take;
    return out;
  }
  // Whatever is left.
  protocol::Bytes rest() { return bytes(left()); }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

}  // namespace focus::fuzz

// Every target defines the entry point libFuzzer calls.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
