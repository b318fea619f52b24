#pragma once
// The program's engine for small keyed text files, in two forms:
//   XML form:   <?xml ...?> / <InitFile> / "  <Key>value</Key>" lines / </InitFile>
//   plain form: Key="value" lines
// A document is either read (Load, then lookups) or written from empty (writes
// in order, then Save). Keys and values are UTF-8 bytes; nothing is escaped.
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

class ProfileFile {
  public:
    explicit ProfileFile(bool xmlForm);

    void SetRootName(const std::string& name);
    const std::string& RootName() const { return rootName_; }
    bool IsXmlForm() const { return xmlForm_; }

    std::string GetText() const;
    bool SetText(std::string_view text);
    void Clear();

    // Files are small; anything larger than this is not a profile file and is refused
    // (so that byte offsets always fit the 32-bit cursor).
    static constexpr int64_t kMaxFileSize = 64 * 1024 * 1024;

    bool Load(const std::string& path);
    // Load for a file that steers the program (settings, "SavePath.ini"): a link,
    // or a file that another user owns or others may change, is not read and sets
    // `refused`. A missing file is no refusal.
    bool LoadOwned(const std::string& path, bool& refused);
    // Replaces the file atomically: a failed or short write leaves the old file as
    // it was and returns false. A new file gets the permissions `mode` (less the
    // umask); an existing one keeps its own, less any bit `mode` lacks, so a save
    // never loosens a file and a private one stays private. An existing file
    // without write permission (no write bit at all, or none for the caller) is
    // read-only: Save leaves it untouched and returns false.
    bool Save(const std::string& path, mode_t mode = 0666) const;

    std::string FindValue(std::string_view key, int32_t from);
    std::string GetString(std::string_view key, const std::string& def);
    int32_t GetInt(std::string_view key, int32_t def);
    bool GetBool(std::string_view key, bool def);
    std::string GetNextString(std::string_view key);

    void WriteString(std::string_view key, std::string_view value);
    void WriteInt(std::string_view key, int32_t n);
    void WriteBool(std::string_view key, bool b);
    void AppendLine(std::string_view line);

    const std::string& Body() const { return body_; }
    int32_t Cursor() const { return cursor_; }

  private:
    void RebuildFrame();
    bool LoadOpened(int fd);

    bool xmlForm_;
    std::string rootName_ = "InitFile";
    std::string header_;
    std::string footer_;
    std::string body_;
    int32_t cursor_ = 0;
};
