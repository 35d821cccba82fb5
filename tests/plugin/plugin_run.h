#pragma once

// Runs the built plug-in (Quillon64.so or Quillon32.so, whichever this build
// makes) through the reference host's core, in a private settings folder,
// with what it writes on stderr captured.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/message_sink.h"
#include "platform/settings_store.h"
#include "tests/support/test_support.h"
#include "tools/host/document.h"
#include "tools/host/filter_host.h"
#include "tools/host/plugin_library.h"

namespace quillon::plugin_test {

// Everything written on stderr while it lives.
class StderrCapture {
  public:
    explicit StderrCapture(const std::string& path) : path_(path) {
        std::fflush(stderr);
        saved_ = ::dup(2);
        std::FILE* file = std::fopen(path.c_str(), "w");
        ::dup2(::fileno(file), 2);
        std::fclose(file);
    }
    ~StderrCapture() { Stop(); }
    std::string Stop() {
        if (saved_ >= 0) {
            std::fflush(stderr);
            ::dup2(saved_, 2);
            ::close(saved_);
            saved_ = -1;
        }
        std::ifstream in(path_);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

  private:
    std::string path_;
    int saved_ = -1;
};

struct PluginRun {
    host::HostReport report;
    std::string messages;  // the plug-in's stderr
};

class PluginTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ::setenv("XDG_CONFIG_HOME", config_.path().c_str(), 1);
        ::unsetenv("QUILLON_TEST_DIALOG");
        // These runs are the host without a display: nothing may wait for a
        // window the test cannot answer.
        ::unsetenv("DISPLAY");
        ::unsetenv("QT_QPA_PLATFORM");
        std::string error;
        ASSERT_TRUE(plugin_.Load(QUILLON_PLUGIN_PATH, error)) << error;
    }

    // The user's stored settings before the run, as lines of the settings file.
    void StoreSettings(const std::vector<std::string>& lines) {
        std::string text = "[Software\\Velmora\\Quillon]\n\"Language\"=\"English\"\n";
        for (const std::string& line : lines) text += line + "\n";
        std::filesystem::create_directories(config_.path() + "/Velmora");
        ASSERT_TRUE(testing::WriteBytes(SettingsPath(), {text.begin(), text.end()}));
    }
    std::string SettingsPath() const { return config_.path() + "/Velmora/Quillon.reg"; }
    std::optional<platform::StoredValue> Stored(const std::string& name) const {
        return platform::FileSettingsStore(SettingsPath()).Find(name);
    }
    std::string HandoffPath() const { return config_.path() + "/Velmora/Quillon/exif.dat"; }
    void WriteHandoff(const std::string& text) {
        std::filesystem::create_directories(config_.path() + "/Velmora/Quillon");
        ASSERT_TRUE(testing::WriteBytes(HandoffPath(), {text.begin(), text.end()}));
    }

    static host::Document Open(const std::string& photo) {
        platform::CapturingSink sink;
        host::Document document;
        EXPECT_TRUE(host::OpenDocument(testing::TestDataPath("photos/" + photo), document, sink))
            << sink.Last();
        return document;
    }

    PluginRun Run(host::Document& document, const host::HostOptions& options = {}) {
        PluginRun run;
        StderrCapture capture(work_.File("stderr.txt"));
        run.report = host::RunFilter(plugin_, document, options);
        run.messages = capture.Stop();
        // Whatever the outcome, the plug-in gives back all it took.
        EXPECT_EQ(run.report.buffersHeld, 0);
        EXPECT_EQ(run.report.handlesHeld, 0);
        EXPECT_EQ(run.report.badReleases, 0);
        // Only the thread the host called in on may call the host back.
        EXPECT_EQ(run.report.offThreadCalls, 0);
        return run;
    }

    static void AnswerDialog(const char* answer) { ::setenv("QUILLON_TEST_DIALOG", answer, 1); }

    testing::TempDir config_;
    testing::TempDir work_;
    host::PluginLibrary plugin_;
};

}  // namespace quillon::plugin_test
