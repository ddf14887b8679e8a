// The classification of every conductor pixel by the shape of the surface nearest to it and its
// depth below that surface, which sets its resistance under the skin effect.
#pragma once

#include <cstdint>
#include <vector>

#include "core/conductor_index.h"
#include "lsolver/lsolver_job.h"

namespace zolva {

// Fills depth and surfaceKind of every entry and sets rsWarning when the surfaces of conductors
// of different kinds come closer than the pixel size can resolve at the working frequency.
void ClassifySurface(const LSolverJob& job);

// The proximity test behind rsWarning, for entries already classified. coarse[e] is non-zero
// when entry e's metal is so coarsely sampled (pixel wider than 0.2 skin depths) that a nearby
// surface of another conductor spoils its resistance. The result holds, per entry, 1 when e is a
// surface pixel of kind D..H that is coarse and lies close to a surface pixel of another
// conductor kind, else 0. Bucketed by cells, so the cost grows with the surface, not its square.
std::vector<std::uint8_t> ProximityFlags(const ConductorIndex& index,
                                         const std::vector<std::uint8_t>& coarse);
// The same test as a plain double loop over all entries; kept as the reference for the fast one.
std::vector<std::uint8_t> ProximityFlagsReference(const ConductorIndex& index,
                                                  const std::vector<std::uint8_t>& coarse);

}  // namespace zolva
