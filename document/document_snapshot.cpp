// The document's snapshot text: the header lines (version, size, length,
// frame step), then every object from the last to the first, then "..". The
// reader inserts each object at the front, which restores the list order.
#include <string>

#include "document/document.h"
#include "document/object_kinds.h"
#include "document/snapshot_text.h"

namespace veltro {

bool Document::writeSnapshot(std::string& out) const {
    out += ".V 3\n";
    appendSnapshotLine(out, "D", std::to_string(width) + " " + std::to_string(height));
    appendSnapshotLine(out, "L", std::to_string(length));
    appendSnapshotLine(out, "SF", std::to_string(frameStep));
    for (auto it = objects.rbegin(); it != objects.rend(); ++it) {
        appendSnapshotLine(out, "O", std::to_string(static_cast<int>((*it)->type())));
        if (!(*it)->writeSnapshot(out))
            return false;
    }
    out += "..\n";
    return true;
}

bool Document::readSnapshot(std::string_view text) {
    m_deferFlags = true;
    bool complete = readSnapshotObjects(text);
    m_deferFlags = false;
    recomputeFlags();
    return complete;
}

bool Document::readSnapshotObjects(std::string_view text) {
    SnapshotLineReader in(text);
    if (!in.next() || !in.keyStartsWith("V") || in.value().empty() || in.value()[0] != '3')
        return false;

    int size[2] = {0, 0};
    if (!in.next() || !in.keyStartsWith("D") || !parseSnapshotInts(in.value(), size, 2))
        return false;
    setSize(size[0], size[1]);

    int frames = 0;
    if (!in.next() || !in.keyStartsWith("L") || !parseSnapshotInts(in.value(), &frames, 1))
        return false;
    setLength(frames);

    if (!in.next())
        return false;
    if (in.key() == "SF") {
        frameStep = snapshotInt(in.value());
        if (!in.next())
            return false;
    }

    int objectCount = 0;
    while (in.keyStartsWith("O")) {
        if (++objectCount > kMaxSnapshotObjects)
            return false;
        std::unique_ptr<DocumentObject> object = createObject(snapshotInt(in.value()), *this);
        if (!object || !in.next())
            return false;
        // A reader that ran into the end of the text has read a cut-off
        // object: it is not added.
        if (!object->readSnapshot(in) || in.atEnd())
            return false;
        insertObject(std::move(object));
    }
    return true;
}

}  // namespace veltro
