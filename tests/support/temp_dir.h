// A fresh folder under the system's temporary folder, removed afterwards.
#pragma once

#include <filesystem>
#include <random>
#include <string>

namespace xrtest {

class TempDir {
public:
    TempDir() {
        std::random_device rd;
        auto base = std::filesystem::temp_directory_path();
        for (;;) {
            m_path = base / ("xrdb8-test-" + std::to_string(rd()));
            if (std::filesystem::create_directory(m_path)) break;
        }
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::string Str() const { return m_path.string(); }

private:
    std::filesystem::path m_path;
};

}  // namespace xrtest
