// The document: construction from settings, the object list, frame flags,
// rendering, ticking, events and media use counts.
#include "document/document.h"

#include <algorithm>
#include <chrono>
#include <unordered_set>

#include "services/canvas.h"
#include "services/resources.h"
#include "services/settings.h"

namespace veltro {

namespace {

// Bytes the document's name holds at most. The name is the page directory's
// path, so it may be as long as any path: cutting it shorter would publish
// into a different, truncated directory.
constexpr size_t kMaxNameLength = 4096;

// When visible objects are ticked next (milliseconds of the steady clock); 0
// means due now. One for the whole process.
int64_t g_nextObjectTick = 0;

int64_t clockMilliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int clampInt(int64_t value, int low, int high) {
    return static_cast<int>(std::clamp<int64_t>(value, low, high));
}

}  // namespace

void resetObjectTickClock() { g_nextObjectTick = 0; }

Document::Document(int newWidth, int newHeight) {
    Settings& store = settings();
    if (newWidth <= 0)
        newWidth = store.findNumber("def_width", "320");
    if (newHeight <= 0)
        newHeight = store.findNumber("def_height", "240");
    setSize(newWidth, newHeight);
    length = clampInt(store.findNumber("def_length", "100"), 0, kMaxDocumentLength);
    frameFlags.assign(static_cast<size_t>(length), 0);
    jpegQuality = store.findNumber("jpeg_quality", "75");
    diffQuality = store.findNumber("diff_quality", "75");
    setName(formatText(resources().text("newdoc"), {}));
}

Document::~Document() {
    clear();
    m_canvas.reset();
    imageCache.clear();
    movieCache.clear();
    soundCache.clear();
}

void Document::clear() {
    activeObject = nullptr;
    objects.clear();
    activeEvents.fill(nullptr);
    events.clear();
    std::fill(frameFlags.begin(), frameFlags.end(), 0);
}

void Document::setSize(int newWidth, int newHeight) {
    width = std::clamp(newWidth, 1, kMaxDocumentDimension);
    height = std::clamp(newHeight, 1, kMaxDocumentDimension);
    m_canvas = std::make_unique<Canvas>(width, height);
}

int Document::setLength(int n) {
    n = std::clamp(n, 0, kMaxDocumentLength);
    if (static_cast<size_t>(n) > frameFlags.size())
        frameFlags.resize(static_cast<size_t>(n), 0);
    int flagged = recomputeFlags();
    length = n;
    frameFlags.resize(static_cast<size_t>(n), 0);
    return flagged;
}

void Document::coverObjects() {
    int64_t needed = length;
    for (const auto& object : objects) {
        if (!object->ranges.empty())
            needed = std::max<int64_t>(needed, static_cast<int64_t>(object->ranges.front().end) + 1);
    }
    if (needed > length)
        setLength(clampInt(needed, 0, kMaxDocumentLength));
}

int Document::insertAt(size_t index, std::unique_ptr<DocumentObject> object) {
    if (!object)
        return flaggedCount;
    object->document = this;
    index = std::min(index, objects.size());
    objects.insert(objects.begin() + static_cast<std::ptrdiff_t>(index), std::move(object));
    coverObjects();
    return recomputeFlags();
}

int Document::insertObject(std::unique_ptr<DocumentObject> object) {
    return insertAt(static_cast<size_t>(firstSelectedIndex()), std::move(object));
}

int Document::appendObject(std::unique_ptr<DocumentObject> object) {
    return insertAt(objects.size(), std::move(object));
}

void Document::forgetObject(const DocumentObject* object) {
    if (activeObject == object)
        activeObject = nullptr;
}

int Document::removeObject(DocumentObject* object) {
    int index = indexOf(object);
    if (index >= 0) {
        forgetObject(object);
        objects.erase(objects.begin() + index);
    }
    coverObjects();
    return recomputeFlags();
}

void Document::deleteSelected() {
    undoHistory.push();
    std::vector<DocumentObject*> doomed;
    for (const auto& object : objects) {
        if (object->selected)
            doomed.push_back(object.get());
    }
    for (DocumentObject* object : doomed)
        removeObject(object);
}

int Document::indexOf(const DocumentObject* object) const {
    for (size_t i = 0; i < objects.size(); ++i) {
        if (objects[i].get() == object)
            return static_cast<int>(i);
    }
    return -1;
}

int Document::firstSelectedIndex() const {
    for (size_t i = 0; i < objects.size(); ++i) {
        if (objects[i]->selected)
            return static_cast<int>(i);
    }
    return 0;
}

int Document::selectAll(bool flag) {
    for (auto& object : objects)
        object->selected = flag;
    return static_cast<int>(objects.size());
}

int Document::selectedCount() const {
    return static_cast<int>(std::count_if(objects.begin(), objects.end(),
                                          [](const auto& object) { return object->selected; }));
}

void Document::reverseSelectedPaths() {
    for (auto& object : objects) {
        if (object->selected && object->type() == ObjectType::DragMotion)
            object->reversePath();
    }
}

void Document::markRun(int a, int b) {
    if (length <= 0)
        return;
    // Both ends are clamped into the document, so a run that lies partly or
    // wholly outside it marks its nearest frames instead of bytes beyond.
    a = std::clamp(a, 0, length - 1);
    b = std::clamp(b, 0, length - 1);
    // A step below 0 would never reach the end of the run: every frame then.
    const int64_t stride = std::max<int64_t>(1, static_cast<int64_t>(frameStep) + 1);
    for (int64_t f = a; f <= b; f += stride) {
        uint8_t& flag = frameFlags[static_cast<size_t>(f)];
        if (!(flag & 6))
            flag = kFrameSampled;
    }
    uint8_t& first = frameFlags[static_cast<size_t>(a)];
    if (!(first & kFrameSticky))
        first = kFrameRunStart;
    uint8_t& last = frameFlags[static_cast<size_t>(b)];
    if (!(last & 6))
        last = kFrameSampled;
}

int Document::recomputeFlags() {
    if (m_deferFlags)
        return flaggedCount;
    const size_t count = std::min(frameFlags.size(), static_cast<size_t>(std::max(length, 0)));
    for (size_t f = 0; f < count; ++f) {
        if (!(frameFlags[f] & kFrameSticky))
            frameFlags[f] = 0;
    }
    for (const auto& object : objects) {
        int first = 0;
        int last = 0;
        if (object->exported && object->type() == ObjectType::DragMotion && object->pathFrameSpan(first, last))
            markRun(first, last);
    }
    for (const auto& event : events) {
        int type = event->type();
        if (type < 0 || type >= kEventTypeCount || !eventTypeEnabled[static_cast<size_t>(type)])
            continue;
        if (type == 0) {
            markRun(event->startFrame, event->endFrame);
        } else if (type == 1) {
            for (int f : event->keyFrames) {
                if (f >= 0 && f < length && !(frameFlags[static_cast<size_t>(f)] & kFrameSticky))
                    frameFlags[static_cast<size_t>(f)] = kFrameRunStart;
            }
        }
    }
    flaggedCount = static_cast<int>(std::count_if(frameFlags.begin(), frameFlags.begin() + static_cast<std::ptrdiff_t>(count),
                                                  [](uint8_t flag) { return (flag & kFrameEncodeMask) != 0; }));
    return flaggedCount;
}

void Document::setCurrentFrame(int f) {
    currentFrame = f;
    if (!editing && !activeEvents[0])
        tick();
    switchEvents();
}

void Document::seekFlaggedFrame(int n) {
    int frame = 0;
    if (length > 0) {
        n = std::clamp(n, 0, length - 1);
        for (int f = n; f >= 0; --f) {
            if (frameFlags[static_cast<size_t>(f)] & kFrameEncodeMask) {
                frame = f;
                break;
            }
        }
    }
    setCurrentFrame(frame);
}

void Document::render() {
    animating = false;
    for (auto it = objects.rbegin(); it != objects.rend(); ++it)
        animating = (*it)->animatesAt(currentFrame) || animating;
    m_canvas->fillRect(0, 0, width, height, 0xFFFFFF);
    for (auto it = objects.rbegin(); it != objects.rend(); ++it)
        (*it)->draw(*m_canvas, currentFrame);
}

bool Document::tick() {
    if (busy)
        return false;
    bool changed = false;
    for (size_t type = 0; type < activeEvents.size(); ++type) {
        TimelineEvent* event = activeEvents[type];
        if (!event || (type == 0 && dragging && event->running))
            continue;
        changed = event->tick() || changed;
    }
    const int64_t now = clockMilliseconds();
    if (g_nextObjectTick == 0 || now >= g_nextObjectTick) {
        for (auto& object : objects) {
            if (object->visibleAt(currentFrame))
                changed = object->tick() || changed;
        }
        g_nextObjectTick = now + kObjectTickIntervalMs;
    }
    return changed;
}

void Document::switchEvents() {
    busy = true;
    for (TimelineEvent*& active : activeEvents) {
        if (active && !active->contains(currentFrame)) {
            active->stop();
            active = nullptr;
        }
    }
    for (const auto& event : events) {
        int type = event->type();
        if (type < 0 || type >= kEventTypeCount || !eventTypeEnabled[static_cast<size_t>(type)] ||
            !event->contains(currentFrame))
            continue;
        TimelineEvent*& slot = activeEvents[static_cast<size_t>(type)];
        if (slot == event.get())
            continue;  // already running
        if (slot)
            slot->stop();
        slot = event.get();
        slot->start();
    }
    busy = false;
}

void Document::setEditing(bool flag) {
    editing = flag;
    if (!flag) {
        editorValueA = 100;
        editorValueB = 1;
        tick();
        switchEvents();
    }
}

void Document::countMediaUses() {
    for (MediaCache* cache : {&imageCache, &movieCache, &soundCache}) {
        for (const auto& entry : cache->entries()) {
            entry->useCount = 0;
            entry->publishCount = 0;
        }
    }
    std::vector<MediaEntry*> uses;
    for (const auto& object : objects) {
        uses.clear();
        object->listMedia(uses);
        for (MediaEntry* entry : uses) {
            if (!entry)
                continue;
            ++entry->useCount;
            if (object->exported)
                ++entry->publishCount;
        }
    }
    for (const auto& event : events) {
        if (event->type() != 2 || !event->sound)
            continue;
        ++event->sound->useCount;
        if (eventTypeEnabled[2])
            ++event->sound->publishCount;
    }
    imageCache.collectMedia();
    movieCache.collectMedia();
    soundCache.collectMedia();
}

void Document::setName(const std::string& text) {
    name = text.substr(0, kMaxNameLength);
}

std::string Document::uniqueObjectName(const std::string& base) const {
    std::unordered_set<std::string> taken;
    for (const auto& object : objects)
        taken.insert(object->name);
    for (size_t counter = 0;; ++counter) {
        std::string candidate = base + std::to_string(counter);
        if (!taken.count(candidate))
            return candidate;
    }
}

}  // namespace veltro
