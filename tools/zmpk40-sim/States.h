// Machine states for "diff": a machine directory's state now, the state it
// kept before its last run, and a state saved in a file.
#pragma once

#include <string>

namespace zmp::tool {

// Where a machine directory keeps its state before the last run or plug.
extern const char* const kBeforeStateFile;

// The state a path names, as "show" prints it: a machine directory's state
// now, or a state file ("show" output, --before, DIR/before.json).
bool ReadState(const std::string& path, std::string& state, std::string& error);
// The state DIR kept before its last run.
bool ReadBeforeState(const std::string& dir, std::string& state, std::string& error);
// Keeps the state from before a run in DIR and, unless copy is "", in copy too.
bool KeepBeforeState(const std::string& state, const std::string& dir, const std::string& copy, std::string& error);
// A new machine has no run behind it.
void ForgetBeforeState(const std::string& dir);

}  // namespace zmp::tool
