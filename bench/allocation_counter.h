// Counts heap allocations made by the benchmark process, so that memory
// use per operation can be reported next to its time.
#pragma once

#include <cstddef>

namespace focus::bench {

std::size_t allocations();

}  // namespace focus::bench
