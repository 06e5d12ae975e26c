// A still picture on the canvas, scaled into the object's rectangle while it
// is visible. Its snapshot form names the image file (".OI" line), so undo
// keeps image objects like every other object.
#pragma once

#include "document/document_object.h"

namespace veltro {

class ImageObject : public DocumentObject {
public:
    // A new image object of the document, named image0, image1, ...
    explicit ImageObject(Document& owner);

    // Attaches an image of the document's image cache (none detaches); a
    // 0 x 0 rectangle takes the image's size.
    void attachImage(MediaEntry* entry);

    void naturalSize(int& outW, int& outH) const override;
    void draw(Canvas& canvas, int frame) override;
    ObjectType type() const override { return ObjectType::Image; }
    const char* icon() const override { return "bimage.png"; }
    bool readSnapshot(SnapshotLineReader& in) override;
    bool writeSnapshot(std::string& out) const override;
    void listMedia(std::vector<MediaEntry*>& out) const override;

    // Entry of the document's image cache, or none.
    MediaEntry* image = nullptr;
};

}  // namespace veltro
