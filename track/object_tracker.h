// Following one object through the frames of a clip. The tracker is given a
// point on the object (or a box around it) in one frame and finds the same
// point in the next frames. Two guesses are made each frame: the optical flow
// of the picture inside the box (pyramidal Lucas-Kanade on a grid of points,
// checked forward and backward, unreliable points rejected, the box moved by
// the median of the rest and scaled by the median change of their distances),
// and the object's last sure motion carried on. Around both, the middle of the
// object as it looked at the start (and, slowly updated, lately) is matched
// in colour (Lab, colour weighted above lightness) quarter by quarter, so a
// partly covered object is still found; a good match makes the position sure.
// Most frames need only a quick look: where a reliable flow puts the object,
// its first look at the flow's scale, a few pixels around; a close match there
// settles the frame, and only the other frames get the full search.
// A small object (a box under 24 pixels) is matched whole with the edge of
// its box, keeps its first look, and needs a closer match, or one that lies
// where both its motion and the flow put it. A few unsure frames in a row (a
// short cover) are bridged; more end the tracking, and the result never goes
// past the last frame the object was surely found in.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "image/image_buffer.h"

namespace veltro {

class Progress;
struct TrackTarget;
struct TrackOutcome;

// Hands out the picture of a frame (valid until the next call), or none when
// the frame cannot be decoded.
using FrameSupplier = std::function<const ImageBuffer*(int frame)>;

// Where the object was found in one frame, in picture pixels of the clip.
struct TrackPoint {
    double x = 0.0;
    double y = 0.0;
    int frame = 0;
};

// Side of the default box around a clicked point, as a fraction of the
// picture's smaller dimension, and its bounds in pixels.
inline constexpr double kClickBoxFraction = 0.15;
inline constexpr int kMinTrackBox = 16;
inline constexpr int kMaxTrackBox = 96;

// Follows one object from frame to frame.
class ObjectTracker {
public:
    ObjectTracker();
    ~ObjectTracker();
    ObjectTracker(const ObjectTracker&) = delete;
    ObjectTracker& operator=(const ObjectTracker&) = delete;

    // Starts on frame at the point (x, y) of the object; the box around it is
    // boxWidth x boxHeight, or a default square when either is below 1. False
    // when the frame is empty or the point lies outside it.
    bool start(const ImageBuffer& frame, double x, double y, int boxWidth = 0, int boxHeight = 0);
    // Finds the point in the next frame (either direction: it is simply the
    // frame after the last one given). False when the object was lost; the
    // position then stays where it was last found.
    bool step(const ImageBuffer& frame);

    // The followed point and the box's size relative to the start.
    double x() const;
    double y() const;
    double scale() const;
    // Whether the last step found the object for sure; an unsure step (the
    // object partly hidden) carries on from its last motion for a few frames.
    bool sure() const;
    // Why the last step failed: "lost" (the flow was inconsistent or the box
    // no longer matches the object) or "left" (the object left the picture).
    const std::string& failure() const;

    struct State;

private:
    friend bool trackObject(const FrameSupplier& frames, int frameCount, const TrackTarget& target, int first,
                            int last, Progress& progress, TrackOutcome& outcome, std::string* error);
    std::unique_ptr<State> m;
};

// What to follow: a point on the object in one frame, with an optional box.
struct TrackTarget {
    double x = 0.0;
    double y = 0.0;
    int boxWidth = 0;
    int boxHeight = 0;
    int frame = 0;
};

// How one direction of tracking ended.
enum class TrackEnd {
    Reached,  // the end of the span
    Lost,     // the object could not be found reliably
    Left,     // the object left the picture
    Unreadable,  // a frame could not be decoded
    Stopped,  // the user stopped
};

struct TrackOutcome {
    // Positions at consecutive frames in increasing frame order, only frames
    // inside the span.
    std::vector<TrackPoint> points;
    // How the forward (towards the last frame) and the backward (towards the
    // first frame) passes ended, and at which frame the object was missed
    // (-1 when the pass reached the end).
    TrackEnd forwardEnd = TrackEnd::Reached;
    TrackEnd backwardEnd = TrackEnd::Reached;
    int forwardMissed = -1;
    int backwardMissed = -1;

    bool stopped() const { return forwardEnd == TrackEnd::Stopped || backwardEnd == TrackEnd::Stopped; }
};

// Frames read ahead when tracking backwards: the clip is decoded forward in
// chunks of this many frames, which are then followed in reverse.
inline constexpr int kBackwardChunk = 24;

// Follows target from its frame to every frame of first .. last (in either
// order), forward and backward as needed; a target frame outside the span is
// followed up to the span first. Reports progress once per frame; the user's
// stop ends both passes. False with an error text when nothing could be
// tracked at all (unreadable start frame, point outside the picture, bad
// span); otherwise outcome says how far it got.
bool trackObject(const FrameSupplier& frames, int frameCount, const TrackTarget& target, int first, int last,
                 Progress& progress, TrackOutcome& outcome, std::string* error);

}  // namespace veltro
