// The document side of following: the clip's frames in, a new path out.
#include "track/follow_object.h"

#include <algorithm>
#include <memory>

#include "document/document.h"
#include "document/media_cache.h"
#include "document/movie_object.h"
#include "dragmotion/drag_motion_object.h"
#include "track/follow_path.h"

namespace veltro {

bool followObject(Document& document, const FollowRequest& request, Progress& progress, FollowResult& result) {
    result = FollowResult{};
    if (document.objects.empty() || document.objects.back()->type() != ObjectType::Movie) {
        result.error = "the document has no clip";
        return false;
    }
    auto& clip = static_cast<MovieObject&>(*document.objects.back());
    MovieReader* reader = clip.movie != nullptr ? clip.movie->movie.get() : nullptr;
    if (reader == nullptr || !reader->frame || reader->frame->width <= 0 || reader->frame->height <= 0 ||
        document.width <= 0 || document.height <= 0 || document.length <= 0) {
        result.error = "the clip has no pictures";
        return false;
    }
    // The picture shows the clip scaled to the document's size.
    const double toClipX = static_cast<double>(reader->frame->width) / document.width;
    const double toClipY = static_cast<double>(reader->frame->height) / document.height;
    TrackTarget target;
    target.x = (request.x + 0.5) * toClipX - 0.5;
    target.y = (request.y + 0.5) * toClipY - 0.5;
    target.boxWidth = static_cast<int>(request.boxWidth * toClipX);
    target.boxHeight = static_cast<int>(request.boxHeight * toClipY);
    target.frame = std::clamp(request.frame, 0, document.length - 1);
    FrameSupplier frames = [&](int frame) { return reader->frameAt(clip.sourceFrameAt(frame)); };
    if (!trackObject(frames, document.length, target, request.first, request.last, progress, result.outcome,
                     &result.error))
        return false;
    if (result.outcome.stopped())
        return false;
    auto object = std::make_unique<DragMotionObject>(document);
    if (result.outcome.points.size() < 2 ||
        !followPath(result.outcome.points, 1.0 / toClipX, 1.0 / toClipY, object->path)) {
        result.error = "the object could not be followed";
        return false;
    }
    object->bezier = 0;
    object->ranges.assign(1, FrameRange{0, document.length - 1});
    object->fitRectToPath();
    document.undoHistory.push();
    result.object = object.get();
    document.insertObject(std::move(object));
    document.selectAll(false);
    result.object->selected = true;
    document.recomputeFlags();
    document.setEditing(true);
    return true;
}

}  // namespace veltro
