// The settings store: loading and parsing "key=value" lines, first-entry
// lookups and updates, and the replace-by-rename save.
#include "services/settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <filesystem>

#include "image/file_utils.h"

namespace veltro {

namespace {

// Reads at most limit bytes of the file; a file longer than that is cut at
// the last line end within the limit, so no half line is ever taken as a
// whole one. False when the file cannot be opened or read.
bool readSettingsFile(const std::string& path, size_t limit, std::string& text) {
    bool truncated = false;
    if (!readFileStart(path, limit, text, &truncated))
        return false;
    if (truncated) {
        size_t end = text.find_last_of("\r\n");
        text.resize(end == std::string::npos ? 0 : end + 1);
    }
    return true;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

Settings::Settings(std::string path) : m_path(std::move(path)) {
    std::string text;
    if (m_path.empty() || !readSettingsFile(m_path, kMaxSettingsFileSize, text))
        return;
    m_loaded = true;
    m_entries = parse(text);
}

std::vector<Settings::Entry> Settings::parse(std::string_view text) {
    std::vector<Entry> entries;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        size_t next;
        if (end == std::string_view::npos) {
            end = text.size();
            next = end;
        } else {
            next = end + 1;
            if (text[end] == '\r' && next < text.size() && text[next] == '\n')
                ++next;
        }
        std::string_view line = text.substr(pos, end - pos);
        size_t equals = line.find('=');
        if (equals != std::string_view::npos)
            entries.push_back({std::string(line.substr(0, equals)), std::string(line.substr(equals + 1))});
        pos = next;
    }
    return entries;
}

std::string Settings::find(std::string_view key, std::string_view defaultValue) const {
    for (const Entry& entry : m_entries) {
        if (entry.key == key)
            return entry.value;
    }
    return std::string(defaultValue);
}

int Settings::findNumber(std::string_view key, std::string_view defaultValue) const {
    return decimalValue(find(key, defaultValue));
}

uint32_t Settings::findColor(std::string_view key, std::string_view defaultValue) const {
    return hexValue(find(key, defaultValue));
}

bool Settings::contains(std::string_view key) const {
    for (const Entry& entry : m_entries) {
        if (entry.key == key)
            return true;
    }
    return false;
}

void Settings::set(std::string_view key, std::string_view value) {
    // A value is one line of the file: a line end inside it would split it
    // into a cut value and a stray line at the next load.
    std::string line;
    line.reserve(value.size());
    for (size_t i = 0; i < value.size(); ++i) {
        char c = value[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n')
                ++i;
            c = ' ';
        }
        line += c;
    }
    for (Entry& entry : m_entries) {
        if (entry.key == key) {
            entry.value = std::move(line);
            return;
        }
    }
    m_entries.push_back({std::string(key), std::move(line)});
}

bool Settings::save() const {
    if (m_path.empty())
        return false;
    namespace fs = std::filesystem;
    std::error_code error;
    // Through a symbolic link the file it points at is replaced, not the link.
    fs::path target = m_path;
    if (fs::is_symlink(target, error)) {
        fs::path resolved = fs::weakly_canonical(target, error);
        if (error)
            return false;
        target = resolved;
    }

    std::string text;
    for (const Entry& entry : m_entries) {
        text += entry.key;
        text += '=';
        text += entry.value;
        text += '\n';
    }

    // The new file keeps the old one's permissions without group or other
    // write access; a new file is readable by all, writable by its owner.
    mode_t mode = 0644;
    struct stat old {};
    bool hadFile = ::stat(target.c_str(), &old) == 0;
    if (hadFile)
        mode = (old.st_mode & 0777 & ~static_cast<mode_t>(S_IWGRP | S_IWOTH)) | S_IRUSR | S_IWUSR;

    ReplacementFile file(target.string());
    file.setDurable(true);
    bool ok = file.write(text) && file.setMode(mode);
    if (ok && hadFile && ::geteuid() == 0) {
        // An administrator saving someone's settings leaves them that user's.
        file.setOwner(old.st_uid, old.st_gid);
    }
    return ok && file.commit();
}

int decimalValue(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value <= static_cast<long long>(INT_MAX) + 1)
            value = value * 10 + (text[i] - '0');
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

uint32_t hexValue(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')
        && std::isxdigit(static_cast<unsigned char>(text[i + 2])))
        i += 2;
    uint64_t value = 0;
    for (; i < text.size() && std::isxdigit(static_cast<unsigned char>(text[i])); ++i) {
        char c = text[i];
        int digit = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
        if (value <= 0xFFFFFFFFu)
            value = value * 16 + static_cast<uint64_t>(digit);
    }
    if (value > 0xFFFFFFFFu)
        return 0xFFFFFFFFu;
    uint32_t result = static_cast<uint32_t>(value);
    return negative ? 0u - result : result;
}

namespace {
std::unique_ptr<Settings>& currentSettings() {
    static std::unique_ptr<Settings> instance = std::make_unique<Settings>();
    return instance;
}
}  // namespace

Settings& settings() { return *currentSettings(); }

std::unique_ptr<Settings> setSettings(std::unique_ptr<Settings> replacement) {
    std::unique_ptr<Settings> previous = std::move(currentSettings());
    currentSettings() = replacement ? std::move(replacement) : std::make_unique<Settings>();
    return previous;
}

Settings& openSettings(const std::string& path) {
    setSettings(std::make_unique<Settings>(path));
    return settings();
}

}  // namespace veltro
