// errno_reason.h - the one-line reason of a failed system call, lowercase as every reason of
// ours: "no such file or directory".
#pragma once

#include <string>
#include <system_error>

namespace holescan {

inline std::string ErrnoReason(int error) {
  std::string reason = std::generic_category().message(error);
  if (!reason.empty() && reason[0] >= 'A' && reason[0] <= 'Z')
    reason[0] = static_cast<char>(reason[0] - 'A' + 'a');
  return reason;
}

}  // namespace holescan
