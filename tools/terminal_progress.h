// Progress of long veltrotool commands as a one-line bar on stderr, drawn
// only when stderr is a terminal so that scripts and logs stay clean.
#pragma once

#include <cstdio>

#include "services/progress.h"

namespace veltro::tool {

class TerminalProgress : public Progress {
public:
    // Draws on stream when draw is true; by default on stderr when it is a terminal.
    TerminalProgress();
    TerminalProgress(std::FILE* stream, bool draw) : m_stream(stream), m_draw(draw) {}

    bool begin(const std::string& caption) override;
    // Redraws the bar; never asks to stop (Ctrl+C ends the program).
    bool update(int done, int total) override;
    void end() override;

private:
    std::FILE* m_stream;
    bool m_draw;
    bool m_shown = false;
    std::string m_caption;
    int m_lastFilled = -1;
    int m_lastDone = -1;
};

}  // namespace veltro::tool
