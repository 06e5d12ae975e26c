// The geometry of a drag-motion path: a polyline over the picture whose points
// carry frame numbers. The vertex normals divide the plane into one zone per
// segment; project() turns a pointer position into a fractional frame value
// from those zones. Also the hit tests and the clean-up of a freshly drawn
// stroke. Nothing here knows about windows or documents.
#pragma once

#include <cstdint>
#include <vector>

namespace veltro {

// Bit of PathPoint::flags set while the pointer lies in the zone of the
// segment that ends at this point (written by markZones).
inline constexpr int32_t kPathZoneFlag = 1;
// Bit of PathPoint::flags: the segment that ends here hands the drag over to
// another drag-motion object.
inline constexpr int32_t kPathHandOverFlag = 2;

// Most points one path holds. A drawn stroke is reduced to a few dozen points;
// the bound keeps hostile files from making geometry and drawing unbounded.
inline constexpr int kMaxPathPoints = 10000;

// One point of a path; copied and moved as a plain record.
struct PathPoint {
    int32_t x = 0;
    int32_t y = 0;
    int32_t frame = 0;
    int32_t reserved0 = 0;
    double normalX = 0.0;
    double normalY = 0.0;
    int32_t flags = 0;
    int32_t reserved1 = 0;

    // The segment ending at this point hands the drag over to another object.
    bool handOver() const { return (flags & kPathHandOverFlag) != 0; }
};

// Perpendicular distance from P to the infinite line through A and B; the
// distance to B when A and B coincide.
double lineDistance(double px, double py, const PathPoint& a, const PathPoint& b);
// Where P's foot lies along A→B: 0 at A, 1 at B; 0 when A and B coincide.
double projectionParameter(double px, double py, const PathPoint& a, const PathPoint& b);

// A path of points; segment i (1 <= i < count) runs from point i-1 to point i
// and keeps its attributes (zone bit, hand-over) in point i.
class DragPath {
public:
    DragPath();

    int count() const { return static_cast<int>(points_.size()); }
    // The point at index i, or null when i is out of range.
    const PathPoint* point(int i) const;
    PathPoint* point(int i);
    // All points in order.
    const std::vector<PathPoint>& points() const { return points_; }

    // Adds a point at the end; a zero normalSegment marks the segment ending
    // here as hand-over. False when the path is full.
    bool append(int x, int y, int frame, int normalSegment);
    // Inserts before index; an index at or past the end sets the entry at that
    // index, zero-filling any gap. False for a negative index or a full path.
    bool insert(const PathPoint& point, int index);
    // Removes one point, closing the gap; false when index is out of range.
    bool remove(int index);
    // Removes every point.
    void clear() { points_.clear(); }

    // Recomputes every point's normal; run after any change of positions.
    void computeNormals();
    // Sets the zone bit of every segment whose zone holds P, clears the others.
    void markZones(int x, int y);
    // The first segment whose end frames bracket or touch the value, or -1.
    int segmentForFrame(double frame) const;
    // Turns pointer P into a frame value. frame (in/out) may be null; when
    // given, its value is the current frame and keeps the segment holding it
    // while P stays in that segment's zone. distance and index are optional
    // outputs. False (outputs untouched) when the path has fewer than 2 points.
    bool project(int x, int y, double* frame, double* distance = nullptr, int* index = nullptr);
    // The frame value of P inside segment i, varying linearly from A's normal
    // line to B's.
    double interpolate(int x, int y, int segment) const;
    // The first point within tolerance of P on both axes, or -1.
    int vertexAt(int x, int y, int tolerance) const;
    // The first segment passing within tolerance of P between its ends, or -1.
    int segmentAt(int x, int y, int tolerance) const;
    // Point k was dragged to P: when it was dropped on another point, the points
    // between them go. False when fewer than 2 points remain.
    bool mergeDropped(int x, int y, int k);
    // Cleans a freshly drawn stroke: drops points closer than minDistance or on
    // the same frame, then rounds corners that turn back by more than 135°.
    void simplify(int minDistance);
    // Spreads frames first … first+span evenly by index over the points.
    void distributeFrames(int first, int span);
    // Reverses the order of positions along the path; frames and flags stay.
    void reverse();
    // Scales positions from an old picture size to a new one; false (nothing
    // changed) when an old size is not positive.
    bool scale(int oldWidth, int oldHeight, int newWidth, int newHeight);
    // Moves every point by (dx, dy).
    void translate(int dx, int dy);

private:
    bool zoneSet(int segment) const { return (points_[segment].flags & kPathZoneFlag) != 0; }
    double segmentDistance(int x, int y, int segment) const;

    std::vector<PathPoint> points_;
};

}  // namespace veltro
