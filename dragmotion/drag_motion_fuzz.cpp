// libFuzzer harness for drag-motion objects read from snapshot text: whatever
// the reader accepts is drawn antialiased and directly, projected, hit-tested
// and cleaned up like a drawn stroke, without crashing, hanging or growing
// without bound. No image formats are registered, so no file is opened.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include <QGuiApplication>

#include "document/document.h"
#include "dragmotion/drag_motion_kind.h"
#include "dragmotion/drag_motion_object.h"
#include "services/prompts.h"
#include "services/resources.h"

namespace {

class IgnoringPrompts : public veltro::Prompts {
public:
    void showMessage(const std::string&) override {}
    int askChoice(const std::string&, const std::vector<std::string>&) override { return 1; }
    std::string chooseOpenFile(const std::string&, const std::string&) override { return {}; }
    std::string chooseSaveFile(const std::string&, const std::string&) override { return {}; }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication application(*argc, *argv);
    veltro::setPrompts(std::make_unique<IgnoringPrompts>());
    veltro::setResources(std::make_unique<veltro::Resources>());
    veltro::registerDragMotionObjectKind();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    veltro::Document document(48, 32);
    document.readSnapshot(text);
    // Pointer positions taken from the input's last bytes.
    const int px = size > 0 ? data[size - 1] - 64 : 0;
    const int py = size > 1 ? data[size - 2] - 64 : 0;
    for (const auto& object : document.objects) {
        if (object->type() != veltro::ObjectType::DragMotion)
            continue;
        auto& dm = static_cast<veltro::DragMotionObject&>(*object);
        for (int frame : {0, dm.path.count() > 0 ? dm.path.point(0)->frame : 1}) {
            document.currentFrame = frame;
            document.editing = false;
            document.dragging = false;
            dm.draw(document.canvas(), frame);
            document.editing = true;
            dm.selected = true;
            dm.draw(document.canvas(), frame);
            document.activeObject = &dm;
            document.dragging = true;
            dm.draw(document.canvas(), frame);
        }
        double value = dm.path.count() > 0 ? dm.path.point(0)->frame : 0.0;
        dm.path.project(px, py, &value);
        dm.path.project(px, py, nullptr);
        int index = 0;
        dm.hitTest(px, py, 4, index);
        dm.distanceFrom(px, py);
        dm.tick();
        veltro::DragPath stroke = dm.path;
        stroke.simplify(32);
        stroke.mergeDropped(px, py, stroke.count() / 2);
        stroke.reverse();
        stroke.scale(48, 32, 96, 64);
    }
    document.activeObject = nullptr;
    return 0;
}
