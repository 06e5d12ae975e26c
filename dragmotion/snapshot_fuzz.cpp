// libFuzzer harness for the document snapshot reader: any text is read into
// a document without crashing or growing without bound, and whatever was
// read writes back to a text that reads back to the same text (the writer and
// reader agree on every object they accept). No media formats are registered,
// so no file is ever opened, and every "cannot open" question is answered
// with "ignore".
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "document/document.h"
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

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    veltro::setPrompts(std::make_unique<IgnoringPrompts>());
    veltro::setResources(std::make_unique<veltro::Resources>());
    veltro::registerDragMotionObjectKind();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    veltro::Document document(16, 16);
    document.readSnapshot(text);
    std::string first;
    bool complete = document.writeSnapshot(first);
    document.recomputeFlags();
    document.countMediaUses();

    veltro::Document copy(16, 16);
    if (!copy.readSnapshot(first) && complete)
        std::abort();  // the writer produced text its own reader refuses
    std::string second;
    copy.writeSnapshot(second);
    if (complete && second != first)
        std::abort();  // a round trip changed the document
    return 0;
}
