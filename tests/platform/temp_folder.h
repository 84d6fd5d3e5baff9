// A fresh folder per test under the system's temporary folder, removed with everything in it
// when the test ends, and paths built with the platform's separator.
#pragma once

#include <qor/platform/files.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <system_error>

namespace qor::test {

inline std::string PathText(const std::filesystem::path& path) {
    std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

inline std::filesystem::path FsPath(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

inline std::string Join(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == platform::kSeparator) return folder + name;
    return folder + platform::kSeparator + name;
}

class TempFolder {
  public:
    TempFolder() {
        std::random_device random;
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        for (;;) {
            path_ = base /
                    ("qor-platform-" + std::to_string(random()) + "-" + std::to_string(random()));
            std::error_code error;
            if (std::filesystem::create_directory(path_, error)) break;
        }
        text_ = PathText(path_.make_preferred());
        while (text_.size() > 1 && text_.back() == platform::kSeparator)
            text_.pop_back();
    }
    ~TempFolder() {
        // Read-only files would make removal fail on Windows.
        std::error_code error;
        std::filesystem::recursive_directory_iterator it(path_, error), end;
        while (!error && it != end) {
            if (!it->is_symlink()) {
                std::filesystem::permissions(it->path(), std::filesystem::perms::owner_write,
                                             std::filesystem::perm_options::add, error);
            }
            it.increment(error);
        }
        std::filesystem::remove_all(path_, error);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return text_; }
    std::string operator/(const std::string& name) const { return Join(text_, name); }

  private:
    std::filesystem::path path_;
    std::string text_;
};

inline void WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(FsPath(path), std::ios::binary | std::ios::trunc);
    out << text;
}

inline std::string ReadText(const std::string& path) {
    std::ifstream in(FsPath(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace qor::test
