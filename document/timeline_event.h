// Timed events of a document: spans of frames in which something happens
// besides the objects (type 0 a run of encoded frames, type 1 a list of key
// frames, type 2 a sound, types 3 and 4 texts). The document starts an event
// when the current frame enters its span, ticks it while it runs and stops it
// when the frame leaves; publishing writes every event of an enabled type.
#pragma once

#include <string>
#include <vector>

namespace veltro {

struct MediaEntry;

// Number of event types (0..4); the document keeps one active event each.
inline constexpr int kEventTypeCount = 5;

class TimelineEvent {
public:
    // A new event of a type 0..4 (other numbers are taken as 0).
    explicit TimelineEvent(int eventType);
    virtual ~TimelineEvent() = default;

    // Called when the current frame leaves the span (or another event of the
    // type takes over); clears running.
    virtual void stop() { running = false; }
    // Called when the current frame enters the span; sets running.
    virtual void start() { running = true; }
    // Called by the document's tick while active; true when what is shown
    // changed. Plain events change nothing.
    virtual bool tick() { return false; }
    // The event's type, 0..4.
    virtual int type() const { return m_type; }

    // True when startFrame <= frame <= endFrame.
    bool contains(int frame) const { return startFrame <= frame && frame <= endFrame; }

    // Inclusive span of frames in which the event runs.
    int startFrame = 0;
    int endFrame = 0;
    // The third number publishing carries with the span.
    int extra = 0;
    // The one-byte value of types 0 and 2.
    int byteValue = 0;
    // Type 1: the frames that are made key frames.
    std::vector<int> keyFrames;
    // Type 2: the sound, an entry of the document's sound cache (not owned).
    MediaEntry* sound = nullptr;
    // Types 3 and 4: the texts (type 4 uses the first only).
    std::string text1;
    std::string text2;
    // Set between start and stop.
    bool running = false;

private:
    int m_type;
};

}  // namespace veltro
