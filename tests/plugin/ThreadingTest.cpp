// Hosts call value requests from several worker threads while their main
// thread sends state notifications. Run under ThreadSanitizer in CI.
#include "PluginSandbox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

TEST(Threading, ConcurrentRequestsAndNotificationsAgree)
{
    TPluginSandbox sandbox("[Addoscope]\nCacheSize_x64=3\nCacheSize_x86=3\n");
    auto& plugin = sandbox.Plugin();
    ASSERT_TRUE(plugin.Library.IsLoaded());
    const std::vector<std::pair<std::string, std::u16string>> samples = {
        {"tab-tidy.xpi", u"Tab Tidy"},         {"mail-merge-legacy.xpi", u"Mail Merge"},
        {"page-ruler.crx", u"Page Ruler"},     {"quiet-reader.crx3", u"Quiet Reader"},
        {"dark-theme-compact.xpi", u"Midnight"}, {"self-extracting-toolbar.xpi", u"Search Toolbar"},
    };
    std::vector<std::pair<std::u16string, std::u16string>> files;
    for (int copy = 0; copy < 3; ++copy)
        for (const auto& [example, name] : samples) {
            const auto path = sandbox.AddExample(example, std::to_string(copy) + "-" + example);
            files.emplace_back(addoscope::base::Utf8ToUtf16(path.string()), name);
        }

    std::atomic<int> wrong {0};
    std::atomic<bool> done {false};
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t)
        workers.emplace_back([&, t] {
            char16_t buffer[256];
            for (int round = 0; round < 40; ++round)
                for (size_t i = 0; i < files.size(); ++i) {
                    const auto& [file, name] = files[(i + static_cast<size_t>(t) * 5) % files.size()];
                    const int32_t code = plugin.GetValueW(file.c_str(), 3, 0, buffer, sizeof(buffer), 0);
                    if (code != 11 || std::u16string(buffer) != name)
                        ++wrong;
                }
        });
    std::thread notifier([&] {
        const std::u16string folder = addoscope::base::Utf8ToUtf16(sandbox.Dir().string());
        while (!done) {
            plugin.SendStateInformationW(1, folder.c_str());
            plugin.SendStateInformationW(2, folder.c_str());
            std::this_thread::yield();
        }
    });
    for (auto& worker : workers)
        worker.join();
    done = true;
    notifier.join();
    EXPECT_EQ(wrong.load(), 0);
}
