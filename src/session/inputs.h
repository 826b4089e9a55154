// The edge sources the command-line inputs name, shared by both fronts.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "frontend/edge_source.h"
#include "session/options.h"

namespace skelmar {

/// The source for a file, pipe, audio or SDR input of the options; null for
/// the serial slicer and for no input (those go through the slicer link).
/// Audio inputs stop a blocked read when `stop` (if given) is set. Live SDR
/// inputs say through `notice` (from their own thread; standard error when
/// not given) when they lose their device or connection and when it is back.
std::unique_ptr<EdgeSource> MakeEdgeSource(const ConsoleOptions& options, bool fourLevel,
                                           const std::atomic<bool>* stop = nullptr,
                                           std::function<void(const char*)> notice = nullptr);

/// Several channels of one SDR input (two or more --channel): one edge
/// source per channel, in the order given, all reading one stream. Empty for
/// any other input.
std::vector<std::unique_ptr<EdgeSource>> MakeChannelSources(
    const ConsoleOptions& options, bool fourLevel, const std::atomic<bool>* stop = nullptr,
    std::function<void(const char*)> notice = nullptr);

/// Samples per second a live SDR input runs at when --rate is not given.
inline constexpr double kDefaultSdrRate = 1024000;

/// The frequency a live SDR input tunes to: --center, else a quarter of the
/// sample rate above the channel, so the channel keeps clear of the tuner's
/// DC spike; 0 when neither is given.
double SdrCenterHz(const ConsoleOptions& options);

}  // namespace skelmar
