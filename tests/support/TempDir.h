#pragma once
// A temporary folder for a test, removed with everything in it at the end.
#include <cstdint>
#include <string>

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The folder, ending with "/".
    const std::string& Path() const { return path_; }
    std::u16string WPath() const;
    std::string Sub(const std::string& rel) const { return path_ + rel; }
    std::u16string WSub(const std::string& rel) const;

    // Helpers for building trees.
    void WriteFile(const std::string& rel, const std::string& content) const;
    void MakeDir(const std::string& rel) const;
    // Writes a file at any absolute path (for instance on a test mount).
    static void WriteFileAt(const std::string& path, const std::string& content);

  private:
    std::string path_;
};

std::string ReadWholeFile(const std::string& path);
bool PathExists(const std::string& path);  // lstat: a dangling link exists too
