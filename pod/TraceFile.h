// The file a wire trace goes to. A trace shows every frame, so it is made for
// its owner alone, and it is opened so that a name planted in a shared folder
// cannot turn the trace against another file: never through a symbolic link,
// never a FIFO or a device, which would block or swallow it.
#pragma once

#include <filesystem>
#include <memory>
#include <ostream>
#include <string>

enum class ExistingTrace : bool { Refuse, Replace };

// Creates `path` (mode 0600), or with Replace also empties an existing
// regular file there. Null, with `error` saying why, when it cannot. The
// stream fails from the first write that does not reach the file.
std::unique_ptr<std::ostream> OpenTraceFile(const std::filesystem::path& path,
                                            ExistingTrace existing, std::string& error);
