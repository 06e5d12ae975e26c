#include "publish/zip_archive.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "image/file_utils.h"

namespace veltro {
namespace {

namespace fs = std::filesystem;

std::string run(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen((command + " 2>&1").c_str(), "r")) {
        char buffer[512];
        while (size_t n = fread(buffer, 1, sizeof buffer, pipe))
            output.append(buffer, n);
        int rc = pclose(pipe);
        output += "\nexit=" + std::to_string(WEXITSTATUS(rc));
    }
    return output;
}

void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

class ZipArchiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("veltro_zip_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        page = root / "pages" / "new0";
        fs::create_directories(page / "sub");
        writeFile(page / "index.html", std::string(2000, 'a') + "<html></html>\n");
        std::mt19937 random(7);
        std::string noise(4096, '\0');
        for (char& c : noise)
            c = static_cast<char>(random());
        writeFile(page / "v0n0.jpg", noise);  // incompressible: must be stored
        writeFile(page / "sub" / "deep.txt", "deep\n");
        writeFile(page / ".hidden", "not packed");
        writeFile(page / "new0.zip", "an old archive that must not be packed into the new one");
        fs::remove(page / "new0.zip");
    }
    void TearDown() override {
        simulateDiskFullAfter(-1);
        fs::remove_all(root);
    }

    ZipStatus pack() {
        ZipOptions options;
        options.rootDir = (root / "pages").string();
        options.recurse = 1;
        return zipArchive(options, (page / "new0.zip").string(), {"new0"});
    }

    fs::path root, page;
};

TEST_F(ZipArchiveTest, StandardReadersAcceptTheArchiveAndSeeExactlyThePageFiles) {
    // The archive is created inside the directory it packs, as pages do.
    ASSERT_EQ(pack(), ZipStatus::Ok);
    const std::string archive = (page / "new0.zip").string();
    std::string tested = run("unzip -t '" + archive + "'");
    EXPECT_NE(tested.find("No errors detected"), std::string::npos) << tested;
    EXPECT_NE(tested.find("exit=0"), std::string::npos) << tested;

    std::string listing = run("python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); "
                              "print(z.testzip()); [print(i.filename, i.compress_type, i.file_size) "
                              "for i in z.infolist()]\" '" + archive + "'");
    EXPECT_EQ(listing,
              "None\n"
              "new0/ 0 0\n"
              "new0/index.html 8 2014\n"
              "new0/sub/ 0 0\n"
              "new0/sub/deep.txt 0 5\n"
              "new0/v0n0.jpg 0 4096\n"
              "\nexit=0");
}

TEST_F(ZipArchiveTest, RepackingReplacesTheArchiveWithoutPackingTheOldOne) {
    ASSERT_EQ(pack(), ZipStatus::Ok);
    auto firstSize = fs::file_size(page / "new0.zip");
    ASSERT_EQ(pack(), ZipStatus::Ok);
    EXPECT_EQ(fs::file_size(page / "new0.zip"), firstSize);
    std::string names = run("unzip -Z1 '" + (page / "new0.zip").string() + "'");
    EXPECT_EQ(names.find("new0.zip"), std::string::npos) << names;
}

TEST_F(ZipArchiveTest, FullDiskLeavesNoArchiveBehind) {
    simulateDiskFullAfter(300);
    EXPECT_EQ(pack(), ZipStatus::Create);
    EXPECT_FALSE(fs::exists(page / "new0.zip"));
    EXPECT_FALSE(fs::exists(page / "new0.zip.part"));
}

// The page archive writer reported success with a failed status; a failed
// archive is now a failure, and the earlier archive stays as it was.
TEST_F(ZipArchiveTest, PageArchiveFailureIsReportedAsFailure) {
    ASSERT_TRUE(writePageZip(page.string()));
    const std::string archive = (page / "new0.zip").string();
    std::ifstream earlierFile(archive, std::ios::binary);
    const std::string earlier((std::istreambuf_iterator<char>(earlierFile)), {});
    ASSERT_FALSE(earlier.empty());

    simulateDiskFullAfter(300);
    ZipStatus status = ZipStatus::Ok;
    std::string error;
    EXPECT_FALSE(writePageZip(page.string(), &status, &error));
    simulateDiskFullAfter(-1);
    EXPECT_EQ(status, ZipStatus::Create);
    EXPECT_FALSE(error.empty());
    std::ifstream afterFile(archive, std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(afterFile)), {}), earlier);
    // Nothing half-written is left beside it.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(page))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".hidden", "index.html", "new0.zip", "sub", "v0n0.jpg"}));

    // A page whose files cannot be read fails the same way.
    fs::permissions(page / "index.html", fs::perms::none);
    if (::access((page / "index.html").c_str(), R_OK) != 0) {
        EXPECT_FALSE(writePageZip(page.string(), &status, &error));
        EXPECT_EQ(status, ZipStatus::Read);
    }
    fs::permissions(page / "index.html", fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(ZipArchiveTest, MissingNamesGiveAStatusAndNoFile) {
    ZipOptions options;
    options.rootDir = (root / "pages").string();
    options.recurse = 1;
    EXPECT_EQ(zipArchive(options, (root / "x.zip").string(), {"nothing-here"}), ZipStatus::Missing);
    EXPECT_FALSE(fs::exists(root / "x.zip"));
}

}  // namespace
}  // namespace veltro
