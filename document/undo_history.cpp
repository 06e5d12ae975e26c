// Recording and restoring document snapshots for undo.
#include "document/undo_history.h"

#include "document/document.h"

namespace veltro {

void UndoHistory::push() {
    std::string text;
    // A shortened text (an object that could not write itself) is still
    // recorded, as far as it got.
    m_document.writeSnapshot(text);
    if (m_top < count()) {
        m_texts[static_cast<size_t>(m_top)] = std::move(text);
    } else {
        m_texts.push_back(std::move(text));
        if (count() > kMaxUndoSnapshots) {
            m_texts.erase(m_texts.begin());
            --m_top;
        }
    }
    ++m_top;
}

void UndoHistory::undo() {
    if (m_top <= 0)
        return;
    push();
    m_top -= 2;
    if (m_top < 0) {
        // Only possible when the oldest snapshot was dropped to make room.
        m_top = 0;
        return;
    }
    // Copied: reading rebuilds objects that may record new snapshots.
    const std::string text = m_texts[static_cast<size_t>(m_top)];
    m_document.clear();
    m_document.readSnapshot(text);
}

void UndoHistory::clear() {
    m_texts.clear();
    m_top = 0;
}

}  // namespace veltro
