// The codec and the receive path: cost per frame and per byte of noise.
#include <benchmark/benchmark.h>

#include <random>

#include "allocation_counter.h"
#include "protocol/frame.h"
#include "protocol/frame_crc.h"
#include "protocol/frame_receiver.h"
#include "scripted_line.h"

namespace focus::bench {
namespace {

void BM_FrameCrc(benchmark::State& state) {
  const protocol::Bytes bytes(static_cast<std::size_t>(state.range(0)), 0xA5);
  for (auto _ : state) benchmark::DoNotOptimize(protocol::frame_crc(bytes.data(), bytes.size()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_FrameCrc)->Arg(15)->Arg(261);

void BM_EncodeRequest(benchmark::State& state) {
  const std::uint8_t payload[9] = {1, 2, 1, 4, 3, 5, 0, 6, 0};
  const std::size_t before = allocations();
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        protocol::encode_frame(protocol::make_host_frame(0xC6, payload, sizeof payload)));
  }
  state.counters["allocs/frame"] =
      benchmark::Counter(static_cast<double>(allocations() - before), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_EncodeRequest);

// One read's worth of bytes: result frames with random stray bytes between
// them, searched for frames the way every exchange does.
void BM_ReceiveNoisyRead(benchmark::State& state) {
  std::mt19937 random(7);
  protocol::Bytes read;
  while (read.size() < protocol::FrameReceiver::kMaxRead - 16) {
    const protocol::Bytes frame = testing::device_frame(0xAA, {0x03, 0x01, 0x00, 0x2C, 0x01});
    read.insert(read.end(), frame.begin(), frame.end());
    for (int i = random() % 4; i > 0; --i) read.push_back(static_cast<std::uint8_t>(random()));
  }
  std::size_t frames = 0;
  for (auto _ : state) {
    protocol::FrameReceiver receiver;
    std::copy(read.begin(), read.end(), receiver.free_space());
    receiver.commit(read.size());
    protocol::Frame frame;
    while (receiver.next_device_frame(frame)) ++frames;
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * read.size()));
  state.counters["frames/read"] =
      benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ReceiveNoisyRead);

// The worst a stray header can do: every byte 0x5A, each a candidate.
void BM_ReceiveAllHeaders(benchmark::State& state) {
  const protocol::Bytes read(protocol::FrameReceiver::kMaxRead, protocol::kHeader);
  for (auto _ : state) {
    protocol::FrameReceiver receiver;
    std::copy(read.begin(), read.end(), receiver.free_space());
    receiver.commit(read.size());
    protocol::Frame frame;
    benchmark::DoNotOptimize(receiver.next_device_frame(frame));
  }
}
BENCHMARK(BM_ReceiveAllHeaders);

}  // namespace
}  // namespace focus::bench
