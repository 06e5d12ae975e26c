// Image objects: a picture of the image cache scaled into the rectangle. The
// snapshot carries the image by its file name (".OI name", ".OI " without an
// image) so that undo rebuilds image objects too.
#include "document/image_object.h"

#include "document/document.h"
#include "document/media_cache.h"
#include "document/snapshot_text.h"
#include "services/canvas.h"

namespace veltro {

ImageObject::ImageObject(Document& owner) : DocumentObject(owner, "image") {}

void ImageObject::attachImage(MediaEntry* entry) {
    image = entry;
    if (entry && entry->image && w == 0 && h == 0) {
        w = entry->image->width;
        h = entry->image->height;
    }
}

void ImageObject::naturalSize(int& outW, int& outH) const {
    outW = 0;
    outH = 0;
    if (image && image->image) {
        outW = image->image->width;
        outH = image->image->height;
    }
}

void ImageObject::draw(Canvas& canvas, int frame) {
    if (!exported || !visibleAt(frame))
        return;
    if (image && image->image)
        canvas.drawImage(x, y, w, h, *image->image);
    else
        drawPlaceholder(canvas, "image");
}

bool ImageObject::readSnapshot(SnapshotLineReader& in) {
    if (!readBaseSnapshot(in))
        return false;
    while (in.key() == "OI") {
        if (!in.value().empty())
            attachImage(document->imageCache.find(in.value()));
        if (!in.next())
            return false;
    }
    return true;
}

bool ImageObject::writeSnapshot(std::string& out) const {
    writeBaseSnapshot(out);
    appendSnapshotLine(out, "OI", image ? image->fileName : std::string());
    return true;
}

void ImageObject::listMedia(std::vector<MediaEntry*>& out) const {
    if (image)
        out.push_back(image);
}

}  // namespace veltro
