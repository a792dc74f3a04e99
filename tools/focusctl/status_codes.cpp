#include "status_codes.h"

#include "focus.h"

namespace focus::ctl {

std::string_view status_meaning(std::int32_t status) {
  switch (status) {
    case FOCUS_OK: return "done";
    case FOCUS_ERR_ARG: return "null handle or record";
    case FOCUS_ERR_NOT_OPEN: return "the port is not open";
    case FOCUS_ERR_DEVICE: return "the device refused the command or reported a failure";
    case FOCUS_ERR_WRITE: return "the request could not be written to the port";
    case FOCUS_ERR_TIMEOUT: return "no answer from the device in time";
    case FOCUS_ERR_NO_MEMORY: return "the library ran out of memory";
    default: return "a status the library does not document";
  }
}

ExitCode exit_code_for(std::int32_t status) {
  switch (status) {
    case FOCUS_OK: return kExitOk;
    case FOCUS_ERR_DEVICE: return kExitDevice;
    case FOCUS_ERR_TIMEOUT: return kExitTimeout;
    case FOCUS_ERR_WRITE: return kExitWrite;
    default: return kExitFailure;
  }
}

}  // namespace focus::ctl
