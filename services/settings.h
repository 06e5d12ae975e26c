// The settings store: an ordered list of key/value text pairs kept in a plain
// "key=value" file (the program's "veltrolt.rc", and the album's per-page
// "data.txt", which only gets read). Keys may repeat; every lookup and update
// sees the first entry with a key, and saving writes all of them back in file
// order, so a hand-edited file keeps whatever it holds.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace veltro {

// Largest settings file that gets loaded; a bigger one loads its first
// kMaxSettingsFileSize bytes (whole lines only). Real files hold a few dozen
// short lines.
inline constexpr size_t kMaxSettingsFileSize = 1 << 20;

class Settings {
public:
    // One line of the file. The value is never missing: a line ending right
    // after its "=" holds the empty text.
    struct Entry {
        std::string key;
        std::string value;
    };

    // An empty store without a file; save fails.
    Settings() = default;
    // Loads the file at path. A file that cannot be read leaves the store
    // empty, without a message; save then creates it.
    explicit Settings(std::string path);

    // The file this store was opened from (empty for a store without a file).
    const std::string& path() const { return m_path; }
    // True when the file could be read at construction.
    bool loaded() const { return m_loaded; }

    // The value of the first entry whose key equals key (byte for byte), else
    // defaultValue.
    std::string find(std::string_view key, std::string_view defaultValue) const;
    // find, converted as a decimal integer (see decimalValue).
    int findNumber(std::string_view key, std::string_view defaultValue) const;
    // find, converted as a hexadecimal RRGGBB colour (see hexValue).
    uint32_t findColor(std::string_view key, std::string_view defaultValue) const;
    // True when some entry has this key.
    bool contains(std::string_view key) const;

    // Replaces the value of the first entry with this key, or appends a new
    // entry at the end. Line ends inside the value (CR LF, LF, CR) become
    // single blanks, since the file holds one line per entry.
    void set(std::string_view key, std::string_view value);

    // Writes every entry in order as "key=value" lines to the store's file.
    // The text goes to a temporary file beside it that then replaces the file,
    // so a failed save never leaves a truncated file; the file stays writable
    // by its owner only. False when it could not be written (the values stay
    // in memory).
    bool save() const;

    // Every entry in file order (duplicates included).
    const std::vector<Entry>& entries() const { return m_entries; }

    // Parses settings text: one entry per line, the key up to the first "=",
    // the value after it; lines without "=" are skipped. Lines end in CR LF,
    // LF or CR; a last line without a line end counts too.
    static std::vector<Entry> parse(std::string_view text);

private:
    std::string m_path;
    std::vector<Entry> m_entries;
    bool m_loaded = false;
};

// A decimal number the way settings and resource values are read: leading
// blanks skipped, an optional sign, digits up to the first non-digit; no digits
// gives 0. Values beyond the int range are clamped to it.
int decimalValue(std::string_view text);
// A hexadecimal number the way colours are read ("%x"): leading blanks
// skipped, an optional "0x", hex digits up to the first other character; no
// digits gives 0. Values beyond 32 bits are clamped to 0xFFFFFFFF.
uint32_t hexValue(std::string_view text);

// The process-wide settings of the program. Until start-up opens its file this
// is an empty store without a file.
Settings& settings();
// Replaces the process-wide store (start-up, tools and tests) and returns the
// previous one. References obtained from settings() before the call refer to
// the previous store.
std::unique_ptr<Settings> setSettings(std::unique_ptr<Settings> replacement);
// Loads the file at path into a new process-wide store and returns it.
Settings& openSettings(const std::string& path);

}  // namespace veltro
