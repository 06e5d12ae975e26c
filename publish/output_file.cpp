#include "publish/output_file.h"

namespace veltro {

namespace {
long long g_bytesUntilFull = -1;
}

void simulateDiskFullAfter(long long bytes) { g_bytesUntilFull = bytes; }

OutputFile::~OutputFile() {
    if (m_file)
        std::fclose(m_file);
}

bool OutputFile::open(const std::string& path) {
    if (m_file)
        std::fclose(m_file);
    m_failed = false;
    m_file = std::fopen(path.c_str(), "wb");
    if (!m_file)
        m_failed = true;
    return m_file != nullptr;
}

bool OutputFile::write(const void* data, size_t size) {
    if (!m_file || m_failed)
        return false;
    if (g_bytesUntilFull >= 0) {
        if (static_cast<long long>(size) > g_bytesUntilFull) {
            std::fwrite(data, 1, static_cast<size_t>(g_bytesUntilFull), m_file);
            g_bytesUntilFull = 0;
            m_failed = true;
            return false;
        }
        g_bytesUntilFull -= static_cast<long long>(size);
    }
    if (size && std::fwrite(data, 1, size, m_file) != size)
        m_failed = true;
    return !m_failed;
}

bool OutputFile::close() {
    if (!m_file)
        return false;
    if (std::fflush(m_file) != 0)
        m_failed = true;
    if (std::fclose(m_file) != 0)
        m_failed = true;
    m_file = nullptr;
    return !m_failed;
}

bool writeWholeFile(const std::string& path, const std::string& bytes) {
    OutputFile file;
    if (!file.open(path))
        return false;
    file.write(bytes);
    return file.close();
}

}  // namespace veltro
