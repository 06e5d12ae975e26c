// libFuzzer harness for the viewer data reader: any bytes are parsed without
// crashing or growing without bound (the reader refuses files above 16 MiB
// and every list is checked against the bytes left), and whatever parses
// builds a document whose body parses again to the same field values. No
// media formats are registered, so no medium is ever loaded, and every
// "cannot open" question is answered with "ignore".
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include <unistd.h>

#include "document/document.h"
#include "publish/viewer_data.h"
#include "dragmotion/drag_motion_kind.h"
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

std::string g_path;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    veltro::setPrompts(std::make_unique<IgnoringPrompts>());
    veltro::setResources(std::make_unique<veltro::Resources>());
    veltro::registerDragMotionObjectKind();
    g_path = "/tmp/fuzz_viewer_data_" + std::to_string(getpid()) + ".txt";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    std::optional<veltro::ViewerData> parsed = veltro::parseViewerData(bytes);
    {
        std::ofstream file(g_path, std::ios::binary | std::ios::trunc);
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    veltro::Document document(16, 16);
    document.clear();
    bool opened = veltro::openViewerData(g_path, document);
    if (opened != parsed.has_value())
        std::abort();
    if (opened) {
        // Lengths and sizes are clamped by the document; the object list
        // keeps the file's order and count.
        std::optional<veltro::ViewerData> again =
            veltro::parseViewerData(veltro::storedViewerData(veltro::viewerDataBody(document, parsed->headerValue)));
        if (!again || again->objects.size() != parsed->objects.size())
            std::abort();
        for (size_t i = 0; i < again->objects.size(); ++i)
            if (again->objects[i].type != parsed->objects[i].type ||
                again->objects[i].points.size() != parsed->objects[i].points.size())
                std::abort();
    }
    return 0;
}
