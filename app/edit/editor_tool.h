// The editor tools turn pointer actions on the edit window's picture into
// document changes. Every coordinate a tool receives is a picture coordinate:
// the window has already subtracted the picture's offset and clamped the
// point into the picture.
#pragma once

#include <string>

namespace veltro {

class Document;

// What a tool needs of the window it works in.
class EditorHost {
public:
    virtual ~EditorHost() = default;
    // The document being edited.
    virtual Document& editedDocument() = 0;
    // Renders the document and its editing overlay onto the window.
    virtual void redrawPicture() = 0;
    // Shows the pointer shape with that cursor table index.
    virtual void setPointer(int cursorIndex) = 0;
    // Tells the user something went wrong (a message box).
    virtual void tellUser(const std::string& text) = 0;
};

// Modifier bits handed to down and drag.
inline constexpr int kToolShift = 1;
inline constexpr int kToolControl = 2;

// One way of handling the pointer on the picture.
class EditorTool {
public:
    virtual ~EditorTool() = default;
    // The button went down at (x, y).
    virtual void down(EditorHost& host, int x, int y, int modifiers) = 0;
    // The pointer moved with no button held; sets the pointer shape.
    virtual void hover(EditorHost& host, int x, int y) = 0;
    // The pointer moved with the button held.
    virtual void drag(EditorHost& host, int x, int y, int modifiers) = 0;
    // The button went up at (x, y).
    virtual void up(EditorHost& host, int x, int y) = 0;
};

}  // namespace veltro
