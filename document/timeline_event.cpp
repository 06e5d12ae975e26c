// Timed events: construction with a checked type number.
#include "document/timeline_event.h"

namespace veltro {

TimelineEvent::TimelineEvent(int eventType)
    : m_type(eventType >= 0 && eventType < kEventTypeCount ? eventType : 0) {}

}  // namespace veltro
