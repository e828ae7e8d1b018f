#pragma once

#include <filesystem>
#include <string>
#include <vector>

// A fresh directory under the system's temporary folder, removed with everything
// in it when the object goes.
class TempDir final {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    // The directory with a trailing "/", ready to be used as a prefix.
    std::string prefix() const { return m_path.string() + "/"; }
    std::string file(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

// Limits the size of files this process may write while it lives, the way a
// full disk stops a write part-way; SIGXFSZ is ignored so the write fails
// with EFBIG instead of ending the process.
class FileSizeLimit final {
public:
    explicit FileSizeLimit(unsigned long bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    unsigned long m_savedSoft;
    void (*m_savedHandler)(int);
};

// Points $XDG_STATE_HOME, $XDG_CACHE_HOME and $XDG_CONFIG_HOME at a fresh
// folder while it lives, so that the logs a test's conversions keep, the
// ffmpeg lists Calvera caches and its settings (its child programs' too) are
// never the user's, nor another test's. The earlier values come back when it goes.
class TemporaryStateHome final {
public:
    TemporaryStateHome();
    ~TemporaryStateHome();
    TemporaryStateHome(const TemporaryStateHome&) = delete;
    TemporaryStateHome& operator=(const TemporaryStateHome&) = delete;
    const TempDir& folder() const { return m_folder; }
    std::string logs() const { return m_folder.prefix() + "calvera/logs/"; }
    // $XDG_STATE_HOME/calvera/ and $XDG_CONFIG_HOME/calvera/ (the same folder here).
    std::string calvera() const { return m_folder.prefix() + "calvera/"; }

private:
    TempDir m_folder;
    struct Saved {
        const char* name;
        bool set;
        std::string value;
    };
    std::vector<Saved> m_saved;
};

// Test programs, and the programs they start, speak today's English whatever
// the locale of whoever runs them, as in CI's C locale: LC_ALL=C.UTF-8 and
// no LANGUAGE. Called first in main, before Qt reads the locale.
void useEnglishLocale();

std::string readFileBytes(const std::string& path);
void writeFileBytes(const std::string& path, const std::string& bytes);
