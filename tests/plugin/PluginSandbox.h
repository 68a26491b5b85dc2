#pragma once
// A private copy of the built plugin in a folder of its own, with its own
// settings file and packages, loaded as a host loads it. Each copy is a
// separate module instance, so tests do not share caches or settings.
#include "PluginLibrary.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

class TPluginSandbox {
public:
    explicit TPluginSandbox(const std::string& settings = std::string(), const std::string& name = "sandbox")
    {
        namespace fs = std::filesystem;
        static int counter = 0;
        FDir = fs::temp_directory_path() /
               ("addoscope-" + name + "-" + std::to_string(std::random_device()()) + "-" + std::to_string(++counter));
        fs::remove_all(FDir);
        fs::create_directories(FDir);
        const fs::path library = FDir / fs::path(TPluginLibrary::Path()).filename();
        fs::copy_file(TPluginLibrary::Path(), library);
        if (!settings.empty())
            std::ofstream(FDir / "Addoscope.ini") << settings;
        FPlugin = std::make_unique<TPluginLibrary>(library.string());
        char params[4108] = {};
        if (FPlugin->Library.IsLoaded())
            FPlugin->SetDefaultParams(params);
    }

    ~TPluginSandbox()
    {
        FPlugin.reset();
        std::error_code ignored;
        std::filesystem::remove_all(FDir, ignored);
    }

    TPluginLibrary& Plugin() { return *FPlugin; }
    const std::filesystem::path& Dir() const { return FDir; }

    // Copies a packed sample into the sandbox folder (or elsewhere).
    std::filesystem::path AddExample(const std::string& example, const std::string& as = std::string())
    {
        const auto target = FDir / (as.empty() ? example : as);
        std::filesystem::copy_file(std::string(ADDOSCOPE_EXAMPLES_DIR) + "/" + example, target,
                                   std::filesystem::copy_options::overwrite_existing);
        return target;
    }

    // The value as the host sees it after the delayed first answer; empty
    // text for "no value".
    std::u16string Value(const std::filesystem::path& file, int field, int32_t* result = nullptr)
    {
        const std::u16string name = addoscope::base::Utf8ToUtf16(file.string());
        char16_t buffer[8192];
        const int32_t delayed = FPlugin->GetValueW(name.c_str(), field, 0, buffer, sizeof(buffer), 1);
        EXPECT_EQ(delayed, 0);
        const int32_t code = FPlugin->GetValueW(name.c_str(), field, 0, buffer, sizeof(buffer), 0);
        if (result)
            *result = code;
        EXPECT_TRUE(code == 11 || code == -3) << code;
        return code == 11 ? std::u16string(buffer) : std::u16string();
    }

private:
    std::filesystem::path FDir;
    std::unique_ptr<TPluginLibrary> FPlugin;
};

// Rewrites a file with other bytes of the same size and puts its old
// modification time back: a reading from the cache cannot tell the change.
inline void ReplaceKeepingTimeAndSize(const std::filesystem::path& file, const std::string& bytes)
{
    const auto time = std::filesystem::last_write_time(file);
    ASSERT_EQ(std::filesystem::file_size(file), bytes.size());
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
    std::filesystem::last_write_time(file, time);
}

inline std::string ReadAll(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
