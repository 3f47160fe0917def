// The shape of DIR/state.json: every field a state may have, with its type.
// A state with a field not listed here, or of another type, is refused with
// the path of that field ("spooler.printers[2].jobs[0]: expected a number"),
// so that a typing mistake in a hand-written machine never passes unseen.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace zmp::sim {

// "" when j is a state the model can load, else what is wrong and where.
std::string CheckState(const nlohmann::ordered_json& j);

}  // namespace zmp::sim
