// Undo for the document: before every change the editor records a snapshot
// text of the whole document here; undo records the present state and
// rebuilds the document from the text before the last change. There is no
// redo: the next record overwrites the texts above the top.
#pragma once

#include <string>
#include <vector>

namespace veltro {

class Document;

// Most snapshot texts kept; recording one more drops the oldest, so a long
// editing session cannot hold every state it ever had.
inline constexpr int kMaxUndoSnapshots = 200;

class UndoHistory {
public:
    explicit UndoHistory(Document& document) : m_document(document) {}

    // Records the document's present snapshot at the top.
    void push();
    // Goes back one change: records the present state, then rebuilds the
    // document from the snapshot before it. Nothing when there is none.
    void undo();
    // Forgets every snapshot.
    void clear();

    // Number of snapshots recorded (including those above the top).
    int count() const { return static_cast<int>(m_texts.size()); }
    // Index after the last snapshot that undo can reach; 0 when empty.
    int top() const { return m_top; }
    // The snapshot text at index (0 .. count - 1).
    const std::string& text(int index) const { return m_texts[static_cast<size_t>(index)]; }

private:
    Document& m_document;
    std::vector<std::string> m_texts;
    int m_top = 0;
};

}  // namespace veltro
