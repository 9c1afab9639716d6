// Archives written here must satisfy other ZIP readers, and archives from other writers must
// extract byte for byte. The external tools are used as black-box checkers; a missing tool
// skips its test.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "archive/zipper.h"
#include "archive_builder.h"
#include "file_helpers.h"

namespace quellin::archive {
namespace {

namespace fs = std::filesystem;

bool HaveTool(const std::string& probe) {
    return std::system((probe + " >/dev/null 2>&1").c_str()) == 0;
}

int Shell(const std::string& command) {
    const int rc = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

std::string Windows(const fs::path& host) {
    std::string p = host.string();
    std::replace(p.begin(), p.end(), '/', '\\');
    return "Z:" + p;
}

void WriteHost(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadHost(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string Mixed(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s;
    while (s.size() < size) {
        if (rng() % 3) {
            s += "*Option: Letter/Letter: PageSize \"<</PageSize [612 792]>>\"\r\n";
        } else {
            for (int i = 0; i < 64; ++i) {
                s += static_cast<char>(rng());
            }
        }
    }
    s.resize(size);
    return s;
}

class InteropTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/quellin-interop-XXXXXX";
        ASSERT_TRUE(mkdtemp(pattern));
        host = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(host, ec);
    }
    // Files of the kind the program saves, and the edge cases around them.
    std::map<std::string, std::string> Payload() {
        return {{"1.reg", Mixed(40000, 1)},
                {"2.reg", Mixed(3, 2)},
                {"empty.reg", ""},
                {"DCEF8337.gpd", Mixed(300000, 3)},
                {"pdc.xml", std::string(100000, '<')}};
    }

    testsupport::ScopedSandbox sandbox;
    fs::path host;
};

TEST_F(InteropTest, OurArchivesPassOtherReaders) {
    const auto payload = Payload();
    TZipper zipper;
    zipper.ZipName = Windows(host / "out.roy");
    zipper.PackLevel = 9;
    for (const auto& [name, data] : payload) {
        WriteHost(host / "in" / name, data);
        zipper.FilesList.push_back(Windows(host / "in" / name));
    }
    ASSERT_EQ(zipper.Zip(), 5);
    // An update through the temporary file on the other drive must pass too.
    WriteHost(host / "in" / "late.txt", "added later");
    zipper.FilesList = {Windows(host / "in" / "late.txt")};
    ASSERT_EQ(zipper.Zip(), 1);
    const std::string archive = (host / "out.roy").string();

    int checked = 0;
    if (HaveTool("command -v unzip")) {
        EXPECT_EQ(Shell("unzip -t " + archive), 0);
        for (const auto& [name, data] : payload) {
            EXPECT_EQ(Shell("unzip -o -q " + archive + " " + name + " -d " + (host / "u").string()),
                      0);
            EXPECT_TRUE(ReadHost(host / "u" / name) == data) << name;
        }
        ++checked;
    }
    if (HaveTool("python3 -c 'import zipfile'")) {
        EXPECT_EQ(Shell("python3 -m zipfile -t " + archive), 0);
        ++checked;
    }
    if (HaveTool("command -v bsdtar")) {
        EXPECT_EQ(Shell("bsdtar -tf " + archive), 0);
        EXPECT_EQ(Shell("bsdtar -xf " + archive + " -O > /dev/null"), 0);
        ++checked;
    }
    if (checked == 0) {
        GTEST_SKIP() << "none of unzip, python3, bsdtar is installed";
    }
}

TEST_F(InteropTest, ArchivesOfZipDashNineExtractByteForByte) {
    if (!HaveTool("command -v zip")) {
        GTEST_SKIP() << "zip is not installed";
    }
    const auto payload = Payload();
    for (const auto& [name, data] : payload) {
        WriteHost(host / "in" / "sub" / name, data);
    }
    ASSERT_EQ(Shell("cd " + (host / "in").string() + " && zip -9 -q -r " +
                    (host / "z.zip").string() + " sub"),
              0);
    TUnZipper unzipper;
    unzipper.ZipName = Windows(host / "z.zip");
    unzipper.DestDir = Windows(host / "out");
    unzipper.DoAll = true;
    unzipper.OverwriteMode = TOverwriteMode::Always;
    EXPECT_EQ(unzipper.UnZip(), 5);  // the folder entry "sub/" is passed over
    for (const auto& [name, data] : payload) {
        EXPECT_TRUE(ReadHost(host / "out" / name) == data) << name;
    }
}

TEST_F(InteropTest, ArchivesOfPythonZipfileExtractByteForByte) {
    if (!HaveTool("python3 -c 'import zipfile'")) {
        GTEST_SKIP() << "python3 is not installed";
    }
    const std::string big = Mixed(200000, 9);
    WriteHost(host / "big.bin", big);
    const std::string script = R"(
import sys, zipfile
d = sys.argv[1]
big = open(d + '/big.bin', 'rb').read()
with zipfile.ZipFile(d + '/p.zip', 'w') as z:
    z.writestr(zipfile.ZipInfo('deflated.bin'), big, compress_type=zipfile.ZIP_DEFLATED)
    z.writestr('stored.bin', big[:5000], compress_type=zipfile.ZIP_STORED)
    z.writestr('empty.bin', b'', compress_type=zipfile.ZIP_DEFLATED)
    z.writestr('dir/caf\u00e9.txt', b'utf-8 name', compress_type=zipfile.ZIP_DEFLATED)
    with z.open('zip64.bin', 'w', force_zip64=True) as f:
        f.write(big[:70000])
    z.comment = b'python'
)";
    WriteHost(host / "make.py", script);
    ASSERT_EQ(Shell("python3 " + (host / "make.py").string() + " " + host.string()), 0);

    TUnZipper unzipper;
    unzipper.ZipName = Windows(host / "p.zip");
    unzipper.DestDir = Windows(host / "out");
    unzipper.DoAll = true;
    unzipper.OverwriteMode = TOverwriteMode::Always;
    EXPECT_EQ(unzipper.UnZip(), 5);
    EXPECT_TRUE(ReadHost(host / "out" / "deflated.bin") == big);
    EXPECT_TRUE(ReadHost(host / "out" / "stored.bin") == big.substr(0, 5000));
    EXPECT_EQ(ReadHost(host / "out" / "empty.bin"), "");
    EXPECT_TRUE(ReadHost(host / "out" / "zip64.bin") == big.substr(0, 70000));
    // The UTF-8 name arrives in the Windows character set, and on the host in UTF-8 again.
    EXPECT_EQ(ReadHost(host / "out" / "caf\xC3\xA9.txt"), "utf-8 name");
    EXPECT_EQ(unzipper.EndCentral().Comment, "python");
}

// The tool over the sandbox's own driver files, and over a hostile archive.
class ToolTest : public InteropTest {
  protected:
    int Tool(const std::string& args, const fs::path& output) {
        const char* bin = std::getenv("QUELLIN_BIN_DIR");
        const std::string exe = std::string(bin ? bin : ".") + "/quellin-archive";
        const std::string cmd = "QUELLIN_SANDBOX=" + sandbox.root().string() + " " + exe + " " +
                                args + " > " + output.string() + " 2>&1";
        const int rc = std::system(cmd.c_str());
        return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    }
};

TEST_F(ToolTest, ZipsTheDriverFilesIntoAnArchiveOthersAccept) {
    std::vector<fs::path> files;
    for (const auto& e : fs::recursive_directory_iterator(sandbox.root())) {
        const auto ext = e.path().extension().string();
        if (e.is_regular_file() && e.path().string().find("V4Dirs") != std::string::npos &&
            (ext == ".gpd" || ext == ".xml")) {
            files.push_back(e.path());
        }
    }
    ASSERT_FALSE(files.empty()) << "the sandbox holds no driver files";
    std::string args = "zip " + (host / "s.roy").string();
    for (const auto& f : files) {
        args += ' ';  // not " " + f.string(): GCC 12 at -O3 warns falsely (-Wrestrict)
        args += f.string();
    }
    ASSERT_EQ(Tool(args, host / "zip.txt"), 0) << ReadHost(host / "zip.txt");
    ASSERT_EQ(Tool("list " + (host / "s.roy").string(), host / "list.json"), 0);
    const std::string list = ReadHost(host / "list.json");
    EXPECT_NE(
        list.find(
            "\"versionMadeBy\": 45, \"versionNeeded\": 20, \"flags\": \"0x2\", \"method\": 8"),
        std::string::npos)
        << list;
    if (HaveTool("command -v unzip")) {
        EXPECT_EQ(Shell("unzip -t " + (host / "s.roy").string()), 0);
    }
    if (HaveTool("python3 -c 'import zipfile'")) {
        EXPECT_EQ(Shell("python3 -m zipfile -t " + (host / "s.roy").string()), 0);
    }
    ASSERT_EQ(Tool("unzip " + (host / "s.roy").string() + " " + (host / "back").string(),
                   host / "unzip.txt"),
              0);
    for (const auto& f : files) {
        EXPECT_TRUE(ReadHost(host / "back" / f.filename()) == ReadHost(f)) << f;
    }
}

// Host names are UTF-8; the component sees them in the ANSI code page, so a host café.txt
// is stored as one é (OEM 0x82, no UTF-8 flag) and comes back as café.txt.
TEST_F(ToolTest, HostNamesOutsideAsciiRoundTrip) {
    const std::string cafe = "caf\xC3\xA9.txt";
    WriteHost(host / cafe, "accented");
    WriteHost(host / "\xE6\x97\xA5.txt", "no ANSI form");
    const std::string archive = (host / "names.zip").string();
    ASSERT_EQ(Tool("zip " + archive + " " + (host / cafe).string(), host / "zip.txt"), 0)
        << ReadHost(host / "zip.txt");
    // A name without an ANSI form is refused, not stored under '?'.
    EXPECT_EQ(
        Tool("zip " + archive + " " + (host / "\xE6\x97\xA5.txt").string(), host / "refused.txt"),
        1);
    EXPECT_EQ(ReadHost(host / "refused.txt"),
              (host / "\xE6\x97\xA5.txt").string() +
                  ": The filename, directory name, or volume label syntax is incorrect.\n");

    ASSERT_EQ(Tool("list " + archive, host / "list.json"), 0);
    EXPECT_NE(ReadHost(host / "list.json").find("\"name\": \"caf\\u00e9.txt\""), std::string::npos)
        << ReadHost(host / "list.json");
    ASSERT_EQ(Tool("unzip " + archive + " " + (host / "ours").string(), host / "unzip.txt"), 0);
    EXPECT_EQ(ReadHost(host / "ours" / cafe), "accented");

    if (HaveTool("python3 -c 'import zipfile'")) {
        WriteHost(host / "names.py",
                  "import sys, zipfile\n"
                  "z = zipfile.ZipFile(sys.argv[1])\n"
                  "assert z.namelist() == ['caf\\u00e9.txt'], z.namelist()\n"
                  "z.extractall(sys.argv[2])\n");
        EXPECT_EQ(Shell("python3 " + (host / "names.py").string() + " " + archive + " " +
                        (host / "py").string()),
                  0);
        EXPECT_EQ(ReadHost(host / "py" / cafe), "accented");
    }
    if (HaveTool("command -v unzip")) {
        // UnZip 6.0 turns OEM names into ISO 8859-1 (é as the byte 0xE9) unless built with a
        // locale conversion (é in UTF-8); either way one letter, not the double-encoded pair.
        const std::string list = "unzip -l " + archive + " > " + (host / "l.txt").string();
        EXPECT_EQ(std::system(list.c_str()), 0);
        const std::string listing = ReadHost(host / "l.txt");
        EXPECT_TRUE(listing.find(" caf\xE9.txt\n") != std::string::npos ||
                    listing.find(" " + cafe + "\n") != std::string::npos)
            << listing;
    }
}

TEST_F(ToolTest, HostileArchiveExtractsNothingOutsideAndNoLargeFile) {
    using testdata::BuildArchive;
    const auto archive = BuildArchive(
        {{.Name = "../../escape.txt", .Data = "inside after all"},
         {.Name = "..", .Data = "x"},
         {.Name = "big.bin", .Data = std::string(100, 'b'), .UncompressedSize = 0xFFFFFFF0},
         {.Name = "crc.bin", .Data = "data", .Crc32 = 7},
         {.Name = "good.txt", .Data = "good"}});
    WriteHost(host / "evil.zip", std::string(archive.begin(), archive.end()));
    fs::create_directories(host / "a" / "b");
    ASSERT_EQ(
        Tool("unzip " + (host / "evil.zip").string() + " " + (host / "a" / "b" / "dest").string(),
             host / "out.txt"),
        0)
        << ReadHost(host / "out.txt");
    EXPECT_NE(ReadHost(host / "out.txt").find("\"extracted\": 2"), std::string::npos);
    std::vector<std::string> found;
    for (const auto& e : fs::recursive_directory_iterator(host / "a")) {
        found.push_back(fs::relative(e.path(), host / "a").string());
        if (e.is_regular_file()) {
            EXPECT_LT(e.file_size(), 1000u) << e.path();
        }
    }
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found,
              (std::vector<std::string>{"b", "b/dest", "b/dest/escape.txt", "b/dest/good.txt"}));
    EXPECT_FALSE(fs::exists(host / "escape.txt"));
}

TEST_F(ToolTest, BadCommandLinesSayWhatIsWrongAndExitWithTwo) {
    const struct {
        std::string args;
        std::string message;
    } cases[] = {
        {"", "no command given"},
        {"pack a.roy", "unknown command \"pack\""},
        {"zip", "zip needs an ARCHIVE"},
        {"zip a.roy f --level x", "--level takes a number from 0 to 9, not \"x\""},
        {"zip a.roy f --level 10", "--level takes a number from 0 to 9, not \"10\""},
        {"zip a.roy f --level", "--level needs a number from 0 to 9"},
        {"zip a.roy --fast f", "unknown option \"--fast\" for zip"},
        {"zip a.roy ''", "FILE is empty"},
        {"unzip a.roy", "unzip needs a DESTDIR"},
        {"unzip a.roy ''", "DESTDIR is empty"},
        {"unzip a.roy d e", "unzip takes ARCHIVE and DESTDIR only"},
        {"list a.roy --level 9", "unknown option \"--level\" for list"},
        {"list ''", "ARCHIVE is empty"},
    };
    for (const auto& c : cases) {
        std::string args = c.args;
        if (const auto at = args.find("a.roy"); at != std::string::npos) {
            args.replace(at, 5, (host / "a.roy").string());
        }
        EXPECT_EQ(Tool(args, host / "bad.txt"), 2) << c.args;
        EXPECT_EQ(
            ReadHost(host / "bad.txt").rfind("quellin-archive: " + c.message + "\nusage: ", 0), 0u)
            << c.args << ": " << ReadHost(host / "bad.txt");
    }
    EXPECT_FALSE(fs::exists(host / "a.roy"));
}

TEST_F(ToolTest, ErrorsPrintTheComponentsTextAndFail) {
    WriteHost(host / "text.roy", "no archive here");
    EXPECT_EQ(
        Tool("unzip " + (host / "text.roy").string() + " " + (host / "d").string(), host / "e.txt"),
        1);
    EXPECT_EQ(ReadHost(host / "e.txt"), "Incomplete Zip File\n");
}

}  // namespace
}  // namespace quellin::archive
