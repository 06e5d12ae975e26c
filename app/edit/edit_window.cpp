// The edit window: steps, slide bar, marks, zoom, undo and the picture with
// its editing overlay; pointer events on the picture go to the draw tool in
// the drawing step and to the edit tool otherwise.
#include "app/edit/edit_window.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/edit/slide_bar.h"
#include "document/document.h"
#include "document/media_cache.h"
#include "document/movie_object.h"
#include "dragmotion/drag_motion_kind.h"
#include "dragmotion/drag_motion_object.h"
#include "dragmotion/path_shape.h"
#include "movie/movie_format.h"
#include "services/canvas.h"
#include "services/prompts.h"
#include "services/resources.h"
#include "services/settings.h"
#include "ui/dialogs.h"
#include "ui/layout.h"

namespace veltro {

namespace {

constexpr int kWindowWidth = 720;
constexpr int kWindowHeight = 540;
// The picture area starts this far below the button row.
constexpr int kAreaGap = 10;
// Pointer positions are kept this far inside the picture area.
constexpr int kAreaInset = 4;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kSegmentColor = 0xFF0000;
constexpr uint32_t kVertexColor = 0x0000FF;
constexpr uint32_t kPositionColor = 0xFF0000;
constexpr int kVertexSize = 7;
constexpr int kPositionSize = 5;
// Most frame steps tried when fitting the flagged frames under "max_frame".
constexpr int kMaxFrameStep = 999;

PixelRect rectOf(const Widget* widget, PixelRect fallback) {
    if (widget == nullptr)
        return fallback;
    return {widget->x(), widget->y(), widget->width(), widget->height()};
}

DragMotionObject* asDragMotion(DocumentObject* object) {
    if (object == nullptr || object->type() != ObjectType::DragMotion)
        return nullptr;
    return static_cast<DragMotionObject*>(object);
}

// The size of the picture at a zoom level.
void scaledSize(int w0, int h0, int level, int& w, int& h) {
    w = static_cast<int>(w0 * kZoomFactors[level]);
    h = static_cast<int>(h0 * kZoomFactors[level]);
}

}  // namespace

EditWindow::EditWindow(Window* owner, Document& document)
    : AppWindow(owner, 0, 0, kWindowWidth, kWindowHeight), m_document(document) {
    // Undo rebuilds drag-motion objects from their snapshot text.
    registerDragMotionObjectKind();
    if (!loadLayout(*this, "lmeditwin"))
        veltro::showMessage(formatText(resources().text("e_no_dialog"), {"lmeditwin"}));

    // Geometry from the layout: the slide bar between the two step buttons,
    // the picture area from below the button row down to the slide bar.
    const PixelRect zoomOut = rectOf(widgetById(kEditZoomOut), {316, 94, 36, 36});
    const PixelRect back = rectOf(widgetById(kEditStepBack), {12, 504, 28, 28});
    const PixelRect on = rectOf(widgetById(kEditStepOn), {680, 504, 28, 28});
    m_area.x = back.x;
    m_area.y = zoomOut.y + zoomOut.height + kAreaGap;
    m_area.width = std::max(1, on.x + on.width - back.x);
    m_area.height = std::max(1, back.y - m_area.y);
    m_slideBar = addWidget(std::make_unique<SlideBar>(this, back.x + back.width, back.y,
                                                      std::max(1, on.x - (back.x + back.width)), back.height,
                                                      kEditSlideBar));

    // The clip is the last object: it stays out of editing.
    int frames = std::max(1, m_document.length);
    if (!m_document.objects.empty()) {
        DocumentObject& clip = *m_document.objects.back();
        clip.selected = false;
        clip.flagL = 1;
        if (MovieReader* reader = clipReader())
            frames = std::max(1, reader->frameCount);
    }
    m_slideBar->setRange(0, frames - 1);
    m_slideBar->setValue(0);
    m_document.setLength(frames);
    m_document.newPathFirstFrame = 0;
    m_document.newPathLastFrame = frames - 1;
    m_document.setCurrentFrame(0);
    m_step = 1;
    zoom(kZoomOneLevel, true);
    m_document.undoHistory.clear();
    m_followTool.onChosen = [this](const FollowRequest& request) { follow(request); };

    if (owner != nullptr) {
        int left = 0;
        int top = 0;
        owner->outerRect(&left, &top, nullptr, nullptr);
        moveTo(left, top);
    } else {
        center();
    }
    drawSteps();
    drawWidgets();
    redrawPicture();
}

EditWindow::~EditWindow() {
    m_document.dragging = false;
    deleteWidgets();
}

MovieReader* EditWindow::clipReader() const {
    if (m_document.objects.empty())
        return nullptr;
    DocumentObject& last = *m_document.objects.back();
    if (last.type() != ObjectType::Movie)
        return nullptr;
    const auto& clip = static_cast<const MovieObject&>(last);
    return clip.movie != nullptr ? clip.movie->movie.get() : nullptr;
}

int EditWindow::pictureLeft() const { return m_area.x + (m_area.width - m_document.width) / 2; }
int EditWindow::pictureTop() const { return m_area.y + (m_area.height - m_document.height) / 2; }

void EditWindow::tellUser(const std::string& text) { veltro::showMessage(text); }

EditorTool& EditWindow::activeTool() {
    if (m_following)
        return m_followTool;
    if (m_step == 5)
        return m_drawTool;
    return m_editTool;
}

void EditWindow::setStep(int step) {
    if (step == m_step)
        return;
    m_step = step;
    drawSteps();
}

void EditWindow::drawSteps() {
    Resources& res = resources();
    Canvas* canvas = backBuffer();
    if (canvas != nullptr) {
        for (int i = 1; i <= kStepCount; ++i) {
            int x = 0;
            int y = 0;
            const std::string key = "proc" + std::to_string(i) + "pos";
            if (!res.hasText(key) || std::sscanf(res.text(key).c_str(), "%d %d", &x, &y) != 2)
                continue;
            const std::string name =
                "process" + std::to_string(i) + (i == m_step ? "unvailed" : "vailed") + ".png";
            if (const ImageBuffer* image = res.image(name)) {
                canvas->drawImage(x, y, image->width, image->height, *image);
                flushRect(x, y, image->width, image->height);
            }
        }
    }
    if (m_following)
        drawFollowHint();
    const bool hasPaths = m_document.objects.size() > 1;
    // Following needs both marks, as drawing does.
    const bool enabled[] = {m_step > 1, m_step == 4 || m_step == 5, hasPaths, hasPaths, hasPaths, m_step >= 5};
    const int ids[] = {kEditMarkIn, kEditMarkOut, kEditDelete, kEditReverse, kEditAccept, kEditFollow};
    for (size_t i = 0; i < std::size(ids); ++i) {
        if (Widget* widget = widgetById(ids[i])) {
            if (widget->isEnabled() != enabled[i]) {
                widget->setEnabled(enabled[i]);
                widget->refresh();
            }
        }
    }
}

void EditWindow::showFrame(int f) {
    const int frame = std::clamp(f, m_slideBar->minimum(), m_slideBar->maximum());
    m_slideBar->setValue(frame);
    m_document.setCurrentFrame(frame);
    redrawPicture();
    if (m_step == 1)
        setStep(2);
    else if (m_step == 3)
        setStep(4);
}

void EditWindow::onCommand(int id) {
    switch (id) {
    case kEditSlideBar: showFrame(m_slideBar->value()); break;
    case kEditMarkIn:
        m_document.newPathFirstFrame = m_document.currentFrame;
        redrawPicture();
        setStep(3);
        break;
    case kEditMarkOut:
        m_document.newPathLastFrame = m_document.currentFrame;
        redrawPicture();
        if (m_step == 4)
            setStep(5);
        break;
    case kEditDelete: deleteSelectedPaths(); break;
    case kEditReverse:
        m_document.reverseSelectedPaths();
        redrawPicture();
        break;
    case kEditAccept: endModal(1); break;
    case kEditDiscard: endModal(0); break;
    case kEditZoomOut: zoom(m_zoomLevel - 1, false); break;
    case kEditZoomOne: zoom(kZoomOneLevel, true); break;
    case kEditZoomIn: zoom(m_zoomLevel + 1, false); break;
    case kEditStepBack: showFrame(m_slideBar->value() - 1); break;
    case kEditStepOn: showFrame(m_slideBar->value() + 1); break;
    case kEditFollow: setFollowing(!m_following); break;
    default: AppWindow::onCommand(id); break;
    }
}

void EditWindow::deleteSelectedPaths() {
    if (m_document.objects.size() < 2 || m_document.dragging)
        return;
    // The clip is never deleted, even when it was selected.
    m_document.objects.back()->selected = false;
    if (m_document.selectedCount() == 0)
        return;
    m_document.deleteSelected();
    fitFrameStep();
    redrawPicture();
    drawSteps();
}

void EditWindow::zoom(int level, bool fitHeight) {
    level = std::clamp(level, 0, kZoomLevels - 1);
    MovieReader* reader = clipReader();
    const int w0 = reader != nullptr && reader->frame ? reader->frame->width : 0;
    const int h0 = reader != nullptr && reader->frame ? reader->frame->height : 0;
    if (w0 <= 0 || h0 <= 0) {
        // Without a clip picture there is nothing to size the picture by.
        m_zoomLevel = level;
        redrawPicture();
        return;
    }
    int w = 0;
    int h = 0;
    for (;; --level) {
        scaledSize(w0, h0, level, w, h);
        const bool fits = fitHeight ? h <= kZoomFitHeight : (w <= m_area.width && h <= m_area.height);
        if (fits || level == 0)
            break;
    }
    m_zoomLevel = level;
    w = std::max(1, w);
    h = std::max(1, h);
    const int oldW = m_document.width;
    const int oldH = m_document.height;
    for (const auto& object : m_document.objects) {
        if (DragMotionObject* path = asDragMotion(object.get())) {
            path->path.scale(oldW, oldH, w, h);
            path->path.computeNormals();
            path->fitRectToPath();
        }
    }
    m_document.objects.back()->setRect(0, 0, w, h);
    m_document.setSize(w, h);
    redrawPicture();
}

void EditWindow::keepZoomAfterUndo(int width, int height) {
    if (m_document.width == width && m_document.height == height)
        return;
    const int oldW = m_document.width;
    const int oldH = m_document.height;
    for (const auto& object : m_document.objects) {
        if (DragMotionObject* path = asDragMotion(object.get())) {
            path->path.scale(oldW, oldH, width, height);
            path->path.computeNormals();
            path->fitRectToPath();
        }
    }
    if (!m_document.objects.empty())
        m_document.objects.back()->setRect(0, 0, width, height);
    m_document.setSize(width, height);
}

void EditWindow::fitFrameStep() {
    const int most = settings().findNumber("max_frame", "50");
    for (int step = 0; step <= kMaxFrameStep; ++step) {
        m_document.frameStep = step;
        if (m_document.recomputeFlags() <= most)
            break;
    }
}

void EditWindow::setFollowing(bool on) {
    if (m_document.dragging)
        return;
    m_following = on && m_step >= 5;
    drawSteps();
}

void EditWindow::drawFollowHint() {
    // The hint takes the place of the step pictures while following is on.
    constexpr uint32_t kHintPaper = 0xF4F1EA;
    constexpr uint32_t kHintInk = 0x1E2B45;
    constexpr int kRowX = 12, kRowY = 56, kRowWidth = 696, kRowHeight = 30;
    Canvas* canvas = backBuffer();
    if (canvas == nullptr)
        return;
    canvas->fillRect(kRowX, kRowY, kRowWidth, kRowHeight, kHintPaper);
    canvas->frameRect(kRowX, kRowY, kRowWidth, kRowHeight, kHintInk);
    canvas->drawText(kRowX + 10, kRowY + 7, kRowWidth - 20, kRowHeight - 8, resources().text("followhint"), kHintInk);
    flushRect(kRowX, kRowY, kRowWidth, kRowHeight);
}

void EditWindow::follow(const FollowRequest& request) {
    Resources& res = resources();
    WindowProgress progress(this);
    progress.begin(res.text("following"));
    FollowResult result;
    const bool added = followObject(m_document, request, progress, result);
    progress.end();
    m_following = false;
    if (added) {
        fitFrameStep();
        setStep(6);
    }
    drawSteps();
    redrawPicture();
    const TrackOutcome& outcome = result.outcome;
    if (!added) {
        if (!result.error.empty())
            tellUser(formatText(res.text("e_follow"), {result.error}));
        return;
    }
    auto ended = [](TrackEnd end) { return end != TrackEnd::Reached && end != TrackEnd::Stopped; };
    if (ended(outcome.backwardEnd))
        tellUser(formatText(res.text("followlostback"), {std::to_string(outcome.backwardMissed),
                                                         std::to_string(outcome.points.front().frame)}));
    if (ended(outcome.forwardEnd))
        tellUser(formatText(res.text("followlost"), {std::to_string(outcome.forwardMissed),
                                                     std::to_string(outcome.points.back().frame)}));
}

void EditWindow::onKey(int code) {
    constexpr int kUndoKey = 26;  // Ctrl+Z
    if (code != kUndoKey) {
        AppWindow::onKey(code);
        return;
    }
    // Undo rebuilds every object; never in the middle of a press.
    if (m_document.dragging || !m_document.canUndo())
        return;
    const int width = m_document.width;
    const int height = m_document.height;
    m_document.undoHistory.undo();
    if (!m_document.objects.empty())
        m_document.objects.back()->flagL = 1;
    keepZoomAfterUndo(width, height);
    fitFrameStep();
    redrawPicture();
    drawSteps();
}

void EditWindow::clampToPicture(int& x, int& y) const {
    const int left = std::max(m_area.x + kAreaInset, pictureLeft());
    const int top = std::max(m_area.y + kAreaInset, pictureTop());
    const int right = std::min(m_area.x + m_area.width - 1 - kAreaInset, pictureLeft() + m_document.width - 1);
    const int bottom = std::min(m_area.y + m_area.height - 1 - kAreaInset, pictureTop() + m_document.height - 1);
    x = std::clamp(x, left, std::max(left, right)) - pictureLeft();
    y = std::clamp(y, top, std::max(top, bottom)) - pictureTop();
}

void EditWindow::onLeftDown(int x, int y, int modifiers) {
    if (y < kStripHeight) {
        AppWindow::onLeftDown(x, y, modifiers);
        return;
    }
    captureMouse(true);
    clampToPicture(x, y);
    m_document.dragging = true;
    m_pressTool = &activeTool();
    m_pressTool->down(*this, x, y, modifiers);
}

void EditWindow::onMouseMove(int x, int y, int modifiers) {
    if (m_document.dragging && m_pressTool != nullptr) {
        clampToPicture(x, y);
        m_pressTool->drag(*this, x, y, modifiers);
        return;
    }
    if (y < kStripHeight || isDragging()) {
        AppWindow::onMouseMove(x, y, modifiers);
        return;
    }
    const bool inArea =
        x >= m_area.x && x < m_area.x + m_area.width && y >= m_area.y && y < m_area.y + m_area.height;
    if (!inArea) {
        setCursor(kCursorPointer);
        return;
    }
    clampToPicture(x, y);
    activeTool().hover(*this, x, y);
}

void EditWindow::onLeftUp(int x, int y, int modifiers) {
    if (!m_document.dragging || m_pressTool == nullptr) {
        AppWindow::onLeftUp(x, y, modifiers);
        return;
    }
    captureMouse(false);
    clampToPicture(x, y);
    m_document.dragging = false;
    EditorTool* tool = m_pressTool;
    m_pressTool = nullptr;
    tool->up(*this, x, y);
    fitFrameStep();
    // Following moves the steps on itself, and only when it added a path.
    if (m_step == 5 && tool != &m_followTool)
        setStep(6);
    else
        drawSteps();
    redrawPicture();
}

void EditWindow::drawOverlay(Canvas& canvas) {
    int bx = 0, by = 0, bw = 0, bh = 0;
    if (m_following && m_followTool.box(bx, by, bw, bh))
        canvas.frameRect(bx, by, bw, bh, kSegmentColor);
    for (const auto& object : m_document.objects) {
        DragMotionObject* dm = asDragMotion(object.get());
        if (dm == nullptr || !dm->selected)
            continue;
        const auto& points = dm->path.points();
        for (size_t i = 1; i < points.size(); ++i) {
            const PathPoint& a = points[i - 1];
            const PathPoint& b = points[i];
            canvas.drawLine(a.x, a.y, b.x, b.y, b.handOver() ? kBlack : kSegmentColor);
        }
        for (const PathPoint& p : points) {
            const int half = kVertexSize / 2;
            canvas.fillRect(p.x - half, p.y - half, kVertexSize, kVertexSize, kVertexColor);
            canvas.frameRect(p.x - half, p.y - half, kVertexSize, kVertexSize, kBlack);
        }
        PathPosition position;
        if (polylineShape().positionAt(dm->path, m_document.currentFrame, position)) {
            const int half = kPositionSize / 2;
            canvas.fillRect(position.x - half, position.y - half, kPositionSize, kPositionSize, kPositionColor);
        }
    }
}

void EditWindow::redrawPicture() {
    Canvas* target = backBuffer();
    if (target == nullptr)
        return;
    m_document.render();
    const int w = m_document.width;
    const int h = m_document.height;
    if (!m_picture || m_picture->width() != w || m_picture->height() != h)
        m_picture = std::make_unique<Canvas>(w, h);
    m_picture->copyFrom(0, 0, m_document.canvas(), 0, 0, w, h);
    drawOverlay(*m_picture);

    target->fillRect(m_area.x, m_area.y, m_area.width, m_area.height, kWhite);
    // The part of the picture inside the area (all of it unless the clip is
    // too large even at the smallest zoom).
    const int left = pictureLeft();
    const int top = pictureTop();
    const int sx = std::max(0, m_area.x - left);
    const int sy = std::max(0, m_area.y - top);
    const int cw = std::min(w - sx, m_area.width);
    const int ch = std::min(h - sy, m_area.height);
    if (cw > 0 && ch > 0)
        target->copyFrom(left + sx, top + sy, *m_picture, sx, sy, cw, ch);

    Resources& res = resources();
    if (m_document.currentFrame == m_document.newPathFirstFrame) {
        if (const ImageBuffer* mark = res.image("bin.png"))
            target->drawImage(m_area.x, m_area.y, mark->width, mark->height, *mark);
    }
    if (m_document.currentFrame == m_document.newPathLastFrame) {
        if (const ImageBuffer* mark = res.image("bout.png"))
            target->drawImage(m_area.x + m_area.width - mark->width, m_area.y, mark->width, mark->height, *mark);
    }
    flushRect(m_area.x, m_area.y, m_area.width, m_area.height);
    if (m_slideBar != nullptr) {
        m_slideBar->setValue(m_document.currentFrame);
        m_slideBar->refresh();
    }
}

int runEditWindow(Window* owner, Document& document) {
    EditWindow window(owner, document);
    return window.runModal();
}

}  // namespace veltro
