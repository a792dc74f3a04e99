// focusctl's `decode`, given either arbitrary bytes written out as hex
// tokens or arbitrary text as its arguments, in text and in JSON: it never
// crashes, and its exit status is one the program documents.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "fuzz_input.h"
#include "offline.h"
#include "status_codes.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // What decode prints is not checked here; printing it would only slow
  // the run down.
  const int null = ::open("/dev/null", O_WRONLY);
  if (null >= 0) {
    ::dup2(null, STDOUT_FILENO);
    ::close(null);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace focus;
  fuzz::FuzzInput input(data, size);
  const bool json = input.pick(2) == 1;
  const bool as_text = input.pick(2) == 1;
  std::vector<std::string> args;
  if (as_text) {
    // Whitespace-separated words, as a shell would pass them.
    std::string word;
    for (std::uint8_t c : input.rest()) {
      if (c == ' ' || c == '\n' || c == '\t' || c == 0) {
        if (!word.empty()) args.push_back(word);
        word.clear();
      } else {
        word.push_back(static_cast<char>(c));
      }
    }
    if (!word.empty()) args.push_back(word);
  } else {
    // Bytes as hex, some tokens holding several bytes at once.
    std::string token;
    const protocol::Bytes bytes = input.rest();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      char digits[3];
      std::snprintf(digits, sizeof digits, "%02X", bytes[i]);
      token += digits;
      if (bytes[i] % 3 == 0 || i + 1 == bytes.size()) {
        args.push_back(token);
        token.clear();
      }
    }
  }
  if (args.empty()) return 0;  // decode would read standard input
  const int status = ctl::run_decode(args, json);
  std::fflush(stdout);
  FUZZ_CHECK(status == ctl::kExitOk || status == ctl::kExitFailure || status == ctl::kExitUsage);
  if (!as_text) FUZZ_CHECK(status != ctl::kExitUsage);  // well-formed hex is never a usage error
  return 0;
}
