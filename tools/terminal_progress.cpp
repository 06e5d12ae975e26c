#include "tools/terminal_progress.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include <unistd.h>

namespace veltro::tool {

namespace {
constexpr int kBarWidth = 30;
}

TerminalProgress::TerminalProgress() : m_stream(stderr), m_draw(::isatty(STDERR_FILENO) == 1) {}

bool TerminalProgress::begin(const std::string& caption) {
    m_caption = caption;
    m_shown = m_draw;
    m_lastFilled = -1;
    m_lastDone = -1;
    return true;
}

bool TerminalProgress::update(int done, int total) {
    if (!m_shown)
        return true;
    const int filled = total > 0 ? static_cast<int>(int64_t(kBarWidth) * std::min(done, total) / total) : kBarWidth;
    if (filled == m_lastFilled && done == m_lastDone)
        return true;
    m_lastFilled = filled;
    m_lastDone = done;
    std::fprintf(m_stream, "\r%s [%s%s] %d/%d", m_caption.c_str(), std::string(filled, '#').c_str(),
                 std::string(kBarWidth - filled, ' ').c_str(), done, total);
    std::fflush(m_stream);
    return true;
}

void TerminalProgress::end() {
    if (m_shown)
        std::fputc('\n', m_stream);
    m_shown = false;
}

}  // namespace veltro::tool
