// The document object that plays a clip by dragging: a path drawn over the
// picture whose points carry frame numbers. It draws itself in three states
// (normal, picked by the pointer, dragged), optionally as images instead of
// the path, with an antialiased path, arrowheads, the capture band while
// editing and a thumbnail that rides along the path. Its defaults come from
// the settings keys "dmcolor0" … "dmthumbdir".
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "document/document_object.h"
#include "dragmotion/drag_path.h"
#include "dragmotion/path_shape.h"
#include "image/image_buffer.h"

namespace veltro {

// Appearance states of a path.
inline constexpr int kPathStateNormal = 0;
inline constexpr int kPathStateActive = 1;
inline constexpr int kPathStateDragging = 2;
inline constexpr int kPathStateCount = 3;

// Bits of DragMotionObject::arrow.
inline constexpr int kArrowAtStart = 1;
inline constexpr int kArrowAtEnd = 2;
inline constexpr int kArrowAutomatic = 4;

// Values of DragMotionObject::thumbnailDir.
inline constexpr int kThumbnailAsIs = 0;
inline constexpr int kThumbnailMirrored = 1;
inline constexpr int kThumbnailRotated = 2;

// Colour of the capture band shown while editing.
inline constexpr uint32_t kCaptureBandColor = 0xC0C0C0;
// Largest thumbnail side that is rotated to the motion direction (the rotated
// copy is twice the side square); larger thumbnails are shown as they are.
inline constexpr int kMaxRotatedThumbnailSide = 1024;

class DragMotionObject : public DocumentObject {
public:
    // A new object of the document named dpath0, dpath1, …, with the
    // drag-motion defaults of the settings store.
    explicit DragMotionObject(Document& owner);

    bool tick() override;
    bool animatesAt(int frame) const override;
    void setPosition(int newX, int newY) override;
    int hitTest(int px, int py, int tolerance, int& index) override;
    void naturalSize(int& outW, int& outH) const override;
    void draw(Canvas& canvas, int frame) override;
    void drawTimelineRow(const TimelineRow& row) const override;
    ObjectType type() const override { return ObjectType::DragMotion; }
    const char* icon() const override { return "bdm.png"; }
    bool readSnapshot(SnapshotLineReader& in) override;
    bool writeSnapshot(std::string& out) const override;
    void listMedia(std::vector<MediaEntry*>& out) const override;
    bool pathFrameSpan(int& first, int& last) const override;
    void reversePath() override;

    // The shape every query uses: Bézier when bezier is set and the path has
    // more than 2 points, else the polyline.
    const PathShape& shape() const { return shapeFor(path, bezier != 0); }
    // Moves the thumbnail position to the current frame's place on the path
    // (unchanged when the shape has none) and follows its horizontal motion.
    void updatePosition();
    // Distance of (px, py) from the thumbnail position (fromThumbnails) or
    // from the path.
    int distanceFrom(int px, int py);
    // Makes the rectangle the bounding box of the points, when the path has
    // at least 2 points and no path image is present.
    void fitRectToPath();
    // Brings the path's derived data up to date after its points changed.
    void finalizePath() { path.computeNormals(); }
    // The state draw uses now: 2 while dragging, 1 when active or reappeared.
    int drawState() const;
    // Whether the start and end arrowheads are drawn at the current frame.
    bool startArrowShown() const;
    bool endArrowShown() const;
    // The image drawn instead of the path in a state, or none.
    const ImageBuffer* pathImageFor(int state) const;

    DragPath path;
    // Images drawn instead of the path in states 0, 1, 2 (entries of the
    // document's image cache, not owned).
    std::array<MediaEntry*, kPathStateCount> pathImage{};
    // Path colour (0xRRGGBB) and width per state; a width below 1 hides the
    // path in that state.
    std::array<uint32_t, kPathStateCount> pathColor{};
    std::array<int, kPathStateCount> pathWidth{};
    // kArrowAtStart / kArrowAtEnd, or kArrowAutomatic.
    int arrow = 0;
    // Non-zero: the path is one Bézier curve (with more than 2 points).
    int bezier = 0;
    // Capture distance in pixels; 0 = any distance.
    int distance = 0;
    // Distance measured from the thumbnail instead of the path.
    int fromThumbnails = 0;
    // Images shown in turn at the on-path position (not owned).
    std::vector<MediaEntry*> thumbnailImages;
    int thumbnailIndex = 0;
    // Last on-path position and motion direction.
    int thumbX = 0;
    int thumbY = 0;
    int thumbDX = 0;
    int thumbDY = 0;
    // Show the thumbnail also outside the path's frame span.
    int keep = 0;
    // 1 after the position moved right, 0 after it moved left.
    int mirrorFlag = 0;
    // kThumbnailAsIs, kThumbnailMirrored or kThumbnailRotated.
    int thumbnailDir = 0;
    // Set when a draw skipped the object; a path coming back into view is
    // shown active until the pointer picks it.
    int reappeared = 0;

private:
    bool drawsDirectly() const;
    void drawPath(Canvas& canvas, int state) const;
    void drawAntialiased(Canvas& canvas, int width, uint32_t color) const;
    void drawArrowhead(Canvas& canvas, const PathPoint& p, const PathPoint& q, int width,
                       uint32_t color) const;
    void drawThumbnail(Canvas& canvas);
    bool readDragMotionLines(SnapshotLineReader& in);
};

// A left-right mirrored copy of the image.
ImagePtr mirroredImage(const ImageBuffer& image);
// The image turned to the motion direction (dx, dy), on a transparent square
// twice its larger side; none when the direction has no length.
ImagePtr rotatedImage(const ImageBuffer& image, int dx, int dy);

}  // namespace veltro
