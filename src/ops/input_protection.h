#pragma once

#include "ops/front_end.h"

#include <optional>
#include <string>
#include <vector>

namespace kestrane {

// An operation never writes over one of its own inputs (a source, a company key file, a listed
// package). True when none of `outputs` is the same file as one of `inputs`: the same device and
// inode (through a hard or symbolic link too), or the same full path. Otherwise false, after
// "Output would overwrite an input[path:%s]" with the output: checked before anything is written.
// Every output is first checked with outputs_are_files.
bool outputs_spare_inputs(FrontEnd& front, const std::vector<std::string>& outputs,
                          const std::vector<std::string>& inputs);
// The same check, silent: the message outputs_spare_inputs would show, or nothing when it passes.
std::optional<std::string> input_overwrite_refusal(const std::vector<std::string>& outputs,
                                                   const std::vector<std::string>& inputs);

// An output that exists must be a regular file (or a symbolic link to one): a device, a FIFO, a
// socket or a directory is never replaced by a file. False, after "Output is not a regular
// file[path:%s]" with the first such output, otherwise true.
bool outputs_are_files(FrontEnd& front, const std::vector<std::string>& outputs);

// A folder that is an input (a directory that is wrapped) holds inputs all the way down: true when
// none of `outputs` lies inside it, otherwise false after the same message.
bool outputs_outside_folder(FrontEnd& front, const std::vector<std::string>& outputs, const std::string& folder);

} // namespace kestrane
