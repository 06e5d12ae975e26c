// Turning the positions a tracker found into a drag-motion path. Every frame
// has a position, so the path keeps only the points it needs: between two
// kept points the path moves in a straight line at an even pace over their
// frames, and a point is kept wherever that would leave the object's real
// position at some frame further away than the tolerance. Every kept point is
// the object's position at its own frame. Where the path turns back sharply
// (more than 135 degrees), tracked positions in between are added until it no
// longer does, as a drawn stroke's corners are rounded, so that the zones of
// the two segments do not fold over each other.
#pragma once

#include <vector>

#include "dragmotion/drag_path.h"
#include "track/object_tracker.h"

namespace veltro {

// Most distance, in picture pixels, between the path's position at a tracked
// frame and the object's position there.
inline constexpr double kFollowTolerance = 1.5;

// The path for track (consecutive frames in increasing order), its positions
// multiplied by scaleX and scaleY (clip pixels to picture pixels) and rounded.
// False (path cleared) with fewer than 2 positions or more than a path holds.
bool followPath(const std::vector<TrackPoint>& track, double scaleX, double scaleY, DragPath& path,
                double tolerance = kFollowTolerance);

}  // namespace veltro
