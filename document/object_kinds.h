// The table of object kinds a document can create by type number: the
// snapshot reader and undo build objects through it. The document module
// registers its own kinds (movie 0, image 1); the drag-motion kind (2) lives
// in a higher module and is entered by its own registration function, which
// start-up, veltrotool and tests call once.
#pragma once

#include <memory>

#include "document/document_object.h"

namespace veltro {

// Makes a new, empty object of one kind for the document (named, not yet
// inserted).
using ObjectFactory = std::unique_ptr<DocumentObject> (*)(Document& document);

// Enters (or replaces) the factory for a type number 0..15.
void registerObjectKind(int type, ObjectFactory factory);
// The factory for a type number, or none when nothing registered it (the
// document's own movie and image kinds are always there).
ObjectFactory objectKind(int type);
// A new object of the type, or none for a type nobody registered.
std::unique_ptr<DocumentObject> createObject(int type, Document& document);

}  // namespace veltro
