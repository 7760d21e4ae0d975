// output_clash.h - the check, before anything is read, that no output of the command names a
// picture it reads or the file of another output.
#pragma once

#include <optional>
#include <string>

#include "cli/options.h"

namespace holescan::cli {

// An output that names the same file as a picture, or as another output, would destroy what
// the run reads or writes: the one-line reason, or nullopt. Files are told apart by device and
// inode, so a link or another spelling of the name is caught too; a device or FIFO (/dev/null)
// may take any number of outputs. Every output of the table with an option (OutputOptions()) is checked.
std::optional<std::string> OutputClash(const Options& options);

}  // namespace holescan::cli
