// The edge sources the command-line inputs name, shared by both fronts.
#pragma once

#include <atomic>
#include <memory>

#include "frontend/edge_source.h"
#include "session/options.h"

namespace skelmar {

/// The source for a file, pipe or audio input of the options; null for the
/// serial slicer and for no input (those go through the slicer link). Audio
/// inputs stop a blocked read when `stop` (if given) is set.
std::unique_ptr<EdgeSource> MakeEdgeSource(const ConsoleOptions& options, bool fourLevel,
                                           const std::atomic<bool>* stop = nullptr);

}  // namespace skelmar
