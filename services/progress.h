// How long operations report progress: the progress window in the program, a
// terminal bar in veltrotool, nothing in tests that do not care.
#pragma once

#include <string>

namespace veltro {

class Progress {
public:
    virtual ~Progress() = default;
    // Shows the indicator with its caption; false when it could not be shown.
    virtual bool begin(const std::string& caption) = 0;
    // Reports done out of total; false once the user asked to stop.
    virtual bool update(int done, int total) = 0;
    // Closes the indicator.
    virtual void end() = 0;
};

// A progress sink that shows nothing and never stops.
class SilentProgress : public Progress {
public:
    bool begin(const std::string&) override { return true; }
    bool update(int, int) override { return true; }
    void end() override {}
};

}  // namespace veltro
