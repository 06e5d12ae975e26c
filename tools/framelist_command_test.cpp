// Drives the built veltrotool's framelist: relative names with spaces are
// listed whole and absolute, the file is byte for byte what the dialog's save
// writes (the same lines the dialog's tests expect), the list opens as a movie, and failures write nothing.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <cstdlib>
#include <filesystem>

#include "image/file_utils.h"
#include "image/image_format.h"
#include "image/image_test_support.h"
#include "image/jpeg_format.h"
#include "image/png_format.h"
#include "tools/tool_test_support.h"

namespace veltro {
namespace {

class FrameListCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tool = std::getenv("VELTROTOOL");
        ASSERT_TRUE(tool) << "VELTROTOOL is not set";
        m_tool = tool;
        registerStandardImageFormats();
        std::filesystem::create_directory(dir.file("my shots"));
        ASSERT_TRUE(JpegFormat().save(dir.file("my shots/first one.jpg"), ImageBuffer(1600, 1200)));
        ASSERT_TRUE(PngFormat().save(dir.file("my shots/second.png"), ImageBuffer(1600, 1200)));
    }
    // Runs veltrotool in the scratch folder; stdout, the status in status.
    std::string run(const std::string& arguments, int* status) {
        const std::string command =
            "cd '" + dir.path() + "' && " + m_tool + " " + arguments + " 2>'" + dir.file("stderr.txt") + "'";
        veltro::testing::CommandResult result = veltro::testing::runCommandLine(command);
        *status = result.status;
        return std::move(result.out);
    }
    std::string text(const std::string& path) {
        std::string bytes;
        readWholeFile(path, 1 << 20, bytes);
        return bytes;
    }
    testing::TempDir dir;
    std::string m_tool;
};

TEST_F(FrameListCommandTest, WritesWhatTheDialogSavesAndTheListPlays) {
    int status = -1;
    EXPECT_EQ(run("framelist out.txt 'my shots/first one.jpg' 'my shots/second.png' 'my shots/first one.jpg'", &status),
              "frames=3 533x400\n");
    ASSERT_EQ(status, 0) << text(dir.file("stderr.txt"));
    const std::string first = dir.file("my shots/first one.jpg"), second = dir.file("my shots/second.png");
    EXPECT_EQ(text(dir.file("out.txt")),
              "533 400 3 3\nN 0 " + first + "\nN 1 " + second + "\nN 2 " + first + "\n-\n");

    const std::string info = run("info out.txt", &status);
    EXPECT_EQ(status, 0) << text(dir.file("stderr.txt"));
    EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(info)).object().value("frames").toInt(), 3) << info;
}

TEST_F(FrameListCommandTest, FailuresSayWhyAndWriteNothing) {
    int status = -1;
    run("framelist out.txt", &status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(text(dir.file("stderr.txt")).find("usage: framelist"), std::string::npos);
    run("framelist out.txt missing.png 'my shots/second.png'", &status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(text(dir.file("stderr.txt")).find("missing.png\" could not be read"), std::string::npos);
    run("framelist 'no dir/out.txt' 'my shots/second.png'", &status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(text(dir.file("stderr.txt")).find("could not be created"), std::string::npos);
    EXPECT_FALSE(fileExists(dir.file("out.txt")));
}

}  // namespace
}  // namespace veltro
