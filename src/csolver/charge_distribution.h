// The start of every capacitance solve: which nodes are free, which are held by a conductor and
// which carry no field; how the apron continues the core beyond its edge; and the list of
// surface links between conductor nodes and the free nodes next to them.
#pragma once

namespace zolva {

struct CapacitanceJob;

// Marks every core node (free, conductor or outside) and gives the conductor nodes their
// voltages, classifies the free nodes by their surrounding permittivities, and, when a field
// region reaches the map's edge, sets up the apron around the core. Builds the surface list in
// every case, so that floating conductors can follow their surroundings in closed
// cross-sections too. Returns false when the solve must end here (abortRequested).
bool DistributeCharge(const CapacitanceJob& job);

// Couples core edge node (cX, cY) to apron node (aX, aY) on the footprint's boundary: the apron
// node takes the core node's voltage, a code and the material along the edge.
void CoupleEdge(const CapacitanceJob& job, int cX, int cY, int aX, int aY);

// Lists every link between a core conductor node and a free core neighbour.
void BuildSurfaceList(const CapacitanceJob& job);

// The surface analysis of Switch::ChainAnalysis: replaces the surface list by the conductor nodes
// that touch free nodes, linked into chains along the surface. Returns false, after a message and
// with abortRequested set, when fewer than two such nodes exist.
bool AnalyseSurfaceChains(const CapacitanceJob& job);

// True when the four core cells around node (cX, cY) have exactly equal permittivity.
bool CellsUniform(const CapacitanceJob& job, int cX, int cY);

}  // namespace zolva
