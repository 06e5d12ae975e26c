// The edit window: where a new clip is trimmed and made draggable. The user
// moves through the clip with the slide bar, marks the first and the last
// frame of the new path, draws a path over the picture, plays and edits it,
// and accepts. A row of seven step pictures guides the user along.
#pragma once

#include <memory>

#include "app/edit/draw_path_tool.h"
#include "app/edit/edit_tool.h"
#include "app/edit/follow_tool.h"
#include "app/edit/editor_tool.h"
#include "app/base/app_window.h"

namespace veltro {

class Canvas;
class Document;
class MovieReader;
class SlideBar;

// Command ids of the edit window's buttons and slide bar.
inline constexpr int kEditSlideBar = 4;
inline constexpr int kEditMarkIn = 5;
inline constexpr int kEditMarkOut = 6;
inline constexpr int kEditDelete = 7;
inline constexpr int kEditReverse = 8;
inline constexpr int kEditAccept = 9;
inline constexpr int kEditZoomOut = 10;
inline constexpr int kEditZoomOne = 11;
inline constexpr int kEditZoomIn = 12;
inline constexpr int kEditDiscard = 13;
inline constexpr int kEditStepBack = 14;
inline constexpr int kEditStepOn = 15;
inline constexpr int kEditFollow = 16;

// Zoom levels: factor kZoomFactors[level]; level 5 is 1:1.
inline constexpr int kZoomLevels = 9;
inline constexpr int kZoomOneLevel = 5;
inline constexpr double kZoomFactors[kZoomLevels] = {0.25, 0.33, 0.5, 0.66, 0.75, 1.0, 1.25, 1.5, 2.0};
// At 1:1 the picture is made small enough to be at most this high.
inline constexpr int kZoomFitHeight = 240;
// The workflow steps shown by the step pictures.
inline constexpr int kStepCount = 7;

// A rectangle in window pixels.
struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

class EditWindow : public AppWindow, public EditorHost {
public:
    // The window over owner's rectangle, laid out from "lmeditwin", editing
    // document, whose last object is the clip: the clip is locked against
    // editing, the document gets the clip's length with the whole clip marked
    // for the new path, the picture opens at 1:1 (or smaller, to fit 240
    // pixels high) and the undo history starts empty.
    EditWindow(Window* owner, Document& document);
    ~EditWindow() override;

    // The edit window's help page.
    std::string helpPage() const override { return "edit.html"; }
    void onCommand(int id) override;
    void onKey(int code) override;
    void onLeftDown(int x, int y, int modifiers) override;
    void onLeftUp(int x, int y, int modifiers) override;
    void onMouseMove(int x, int y, int modifiers) override;

    // EditorHost.
    Document& editedDocument() override { return m_document; }
    void redrawPicture() override;
    void setPointer(int cursorIndex) override { setCursor(cursorIndex); }
    void tellUser(const std::string& text) override;

    // Shows frame f as if the slide bar had been moved there.
    void showFrame(int f);
    // Sets the zoom level (clamped to 0 .. 8) and picks the largest level at
    // or below it whose picture fits: 240 pixels high with fitHeight, else
    // the picture area. Paths are scaled with the picture.
    void zoom(int level, bool fitHeight);
    // Sets the document's frame step to the smallest one that leaves at most
    // "max_frame" frames flagged.
    void fitFrameStep();

    int workflowStep() const { return m_step; }
    // Whether a click on the picture follows an object (the follow button is
    // down) instead of drawing or editing.
    bool following() const { return m_following; }
    // Follows the object of request through the marked frames with the
    // progress window, adds its path (one undo step) and tells the user when
    // the object was lost on the way or nothing could be followed.
    void follow(const FollowRequest& request);
    int zoomLevel() const { return m_zoomLevel; }
    // The picture area and where the picture sits in the window.
    const PixelRect& pictureArea() const { return m_area; }
    int pictureLeft() const;
    int pictureTop() const;
    SlideBar* slideBar() const { return m_slideBar; }

private:
    void setStep(int step);
    void drawSteps();
    void drawOverlay(Canvas& canvas);
    // The clip the document shows, or none.
    MovieReader* clipReader() const;
    // Window point clamped into the picture; false outside the drag area.
    void clampToPicture(int& x, int& y) const;
    EditorTool& activeTool();
    // After undo rebuilt the document: the same zoom, the same picture size.
    void keepZoomAfterUndo(int width, int height);
    void deleteSelectedPaths();
    void setFollowing(bool on);
    void drawFollowHint();

    Document& m_document;
    SlideBar* m_slideBar = nullptr;
    PixelRect m_area;
    int m_step = 1;
    int m_zoomLevel = kZoomOneLevel;
    EditTool m_editTool;
    DrawPathTool m_drawTool;
    FollowTool m_followTool;
    bool m_following = false;
    // The tool that got the press, until the release.
    EditorTool* m_pressTool = nullptr;
    std::unique_ptr<Canvas> m_picture;
};

// Runs the edit window modally over owner: 1 when the user accepted (go on
// to publishing), 0 when the document is to be discarded, -1 when the
// program is quitting and every window of the chain closes.
int runEditWindow(Window* owner, Document& document);

}  // namespace veltro
