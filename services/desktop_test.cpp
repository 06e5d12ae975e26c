// The document opener: the replacement seam tests and the window layer use,
// nested calls refused, and the default xdg-open hand-over with its status.
#include "services/desktop.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <vector>

#include <sys/stat.h>

#include "image/image_test_support.h"

namespace veltro {
namespace {

using testing::TempDir;

class OpenDocument : public ::testing::Test {
protected:
    void TearDown() override {
        setDocumentOpener(nullptr);
        if (!m_path.empty())
            ::setenv("PATH", m_path.c_str(), 1);
    }
    // Puts a fake xdg-open first on the PATH that records its argument and
    // exits with the given status.
    void installFakeOpener(int status) {
        m_path = std::getenv("PATH") ? std::getenv("PATH") : "";
        std::string script = dir.file("xdg-open");
        {
            std::ofstream out(script);
            out << "#!/bin/sh\nprintf '%s' \"$1\" > '" << dir.file("opened") << "'\nexit " << status << "\n";
        }
        ::chmod(script.c_str(), 0755);
        ::setenv("PATH", (dir.path() + ":" + m_path).c_str(), 1);
    }
    TempDir dir;
    std::string m_path;
};

TEST_F(OpenDocument, ReplacementSeamReceivesThePathAndRefusesNestedCalls) {
    std::vector<std::string> seen;
    bool nested = true;
    setDocumentOpener([&](const std::string& path) {
        seen.push_back(path);
        nested = openDocument("again.html");
        return path != "bad.html";
    });
    EXPECT_TRUE(openDocument("/pages/p0/index.html"));
    EXPECT_FALSE(openDocument("bad.html"));
    EXPECT_EQ(seen, (std::vector<std::string>{"/pages/p0/index.html", "bad.html"}));
    EXPECT_FALSE(nested) << "a call made while another runs fails at once";
}

TEST_F(OpenDocument, DefaultRunsXdgOpenAndReportsItsStatus) {
    installFakeOpener(0);
    EXPECT_TRUE(openDocument("/tmp/some page.html"));
    const std::string expected = "/tmp/some page.html";
    EXPECT_EQ(testing::readBytes(dir.file("opened")), std::vector<uint8_t>(expected.begin(), expected.end()));
    installFakeOpener(3);
    EXPECT_FALSE(openDocument("/tmp/x.html"));
}

TEST_F(OpenDocument, DefaultFailsWithoutAnOpener) {
    m_path = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", dir.path().c_str(), 1);
    EXPECT_FALSE(openDocument("/tmp/x.html"));
}

}  // namespace
}  // namespace veltro
