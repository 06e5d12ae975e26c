// The type-number table of object factories, with the document's own kinds
// entered from the start.
#include "document/object_kinds.h"

#include <array>

#include "document/image_object.h"
#include "document/movie_object.h"

namespace veltro {

namespace {

constexpr int kMaxObjectKinds = 16;

std::unique_ptr<DocumentObject> makeMovieObject(Document& document) {
    return std::make_unique<MovieObject>(document);
}

std::unique_ptr<DocumentObject> makeImageObject(Document& document) {
    return std::make_unique<ImageObject>(document);
}

std::array<ObjectFactory, kMaxObjectKinds>& kindTable() {
    static std::array<ObjectFactory, kMaxObjectKinds> table = [] {
        std::array<ObjectFactory, kMaxObjectKinds> kinds{};
        kinds[static_cast<int>(ObjectType::Movie)] = makeMovieObject;
        kinds[static_cast<int>(ObjectType::Image)] = makeImageObject;
        return kinds;
    }();
    return table;
}

}  // namespace

void registerObjectKind(int type, ObjectFactory factory) {
    if (type >= 0 && type < kMaxObjectKinds)
        kindTable()[static_cast<size_t>(type)] = factory;
}

ObjectFactory objectKind(int type) {
    if (type < 0 || type >= kMaxObjectKinds)
        return nullptr;
    return kindTable()[static_cast<size_t>(type)];
}

std::unique_ptr<DocumentObject> createObject(int type, Document& document) {
    ObjectFactory factory = objectKind(type);
    return factory ? factory(document) : nullptr;
}

}  // namespace veltro
