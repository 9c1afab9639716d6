// Times the archive component against the floor that zlib sets (raw deflate and inflate of the
// same bytes in memory, same parameters) and against Info-ZIP's zip -9 and unzip, on two
// generated payloads: a settings-sized set and about 100 MB of mixed files.
//
//   quellin-archive-bench [--runs N] [--mb SIZE]
//
// Each figure is the best of N runs (default 3). A last line sets the component against zlib's
// inflate writing plain host files, the floor for extraction to disk. Files live under /tmp and
// reach the component as Z: paths; the sandbox for drive C: is a temporary one.
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "archive/zipper.h"
#include "platform/sim/sandbox.h"

using namespace quellin;

namespace fs = std::filesystem;
using quellin::archive::TOverwriteMode;
using quellin::archive::TUnZipper;
using quellin::archive::TZipper;

namespace {

struct File {
    std::string Name;
    std::string Data;
};

std::string Windows(const fs::path& p) {
    std::string s = p.string();
    for (char& c : s) {
        if (c == '/') {
            c = '\\';
        }
    }
    return "Z:" + s;
}

// Text of driver-file shape, compressible like the real ones.
std::string TextLike(std::size_t size, std::mt19937& rng) {
    static const char* words[] = {"*Option:",
                                  "PageSize",
                                  "ImageableArea",
                                  "*Feature:",
                                  "Letter",
                                  "A4",
                                  "<psk:PageMediaSize",
                                  "micrometres",
                                  "9000",
                                  "1270",
                                  "\"<</PageSize [595 842]>>\"",
                                  "\r\n"};
    std::string s;
    while (s.size() < size) {
        s += words[rng() % 12];
        s += ' ';
        s += std::to_string(rng() % 100000);
        s += rng() % 4 ? " " : "\r\n";
    }
    s.resize(size);
    return s;
}

std::string Random(std::size_t size, std::mt19937& rng) {
    std::string s(size, '\0');
    for (auto& c : s) {
        c = static_cast<char>(rng());
    }
    return s;
}

// Registry hive files: blocks of structure, zero padding and some random values.
std::string HiveLike(std::size_t size, std::mt19937& rng) {
    std::string s;
    while (s.size() < size) {
        s += "hbin";
        s += std::string(rng() % 400, '\0');
        s += Random(rng() % 200, rng);
        s += "nk\x20\x00vk\x06\x00PrintToPDF";
    }
    s.resize(size);
    return s;
}

std::vector<File> SettingsSet() {
    std::mt19937 rng(1);
    return {{"1.reg", HiveLike(24576, rng)},
            {"2.reg", HiveLike(8192, rng)},
            {"3.reg", HiveLike(16384, rng)},
            {"DCEF8337.gpd", TextLike(180000, rng)},
            {"pdc.xml", TextLike(90000, rng)}};
}

std::vector<File> MixedSet(std::size_t totalMb) {
    std::mt19937 rng(2);
    std::vector<File> files;
    std::size_t total = 0;
    int i = 0;
    while (total < totalMb * 1000000) {
        const std::size_t size = 500000 + rng() % 4500000;
        std::string data;
        switch (i % 4) {
            case 0:
            case 1:
                data = TextLike(size, rng);
                break;
            case 2:
                data = HiveLike(size, rng);
                break;
            default:
                data = Random(size, rng);
                break;
        }
        total += data.size();
        // Appended rather than "f" + std::to_string(...): GCC 12 at -O3 warns falsely
        // (-Wrestrict) on a literal prepended to a temporary string.
        std::string name = "f";
        name += std::to_string(i++);
        name += ".bin";
        files.push_back({std::move(name), std::move(data)});
    }
    return files;
}

double Seconds(const std::function<void()>& work, int runs) {
    double best = 1e30;
    for (int r = 0; r < runs; ++r) {
        const auto start = std::chrono::steady_clock::now();
        work();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

std::string RawDeflate(const std::string& data) {
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, data.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

void RawInflate(const std::string& stream, std::string& out) {
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
    z.avail_in = static_cast<uInt>(stream.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    inflate(&z, Z_FINISH);
    inflateEnd(&z);
}

// The same inflate through 32 KiB input and output buffers, output discarded: the floor had
// the component kept its output buffer at 32 KiB too.
void RawInflateChunked(const std::string& stream, std::vector<Bytef>& out) {
    z_stream z{};
    inflateInit2(&z, -15);
    std::size_t at = 0;
    int rc = Z_OK;
    while (rc != Z_STREAM_END) {
        if (z.avail_in == 0) {
            const std::size_t n = std::min<std::size_t>(32768, stream.size() - at);
            if (n == 0) {
                break;
            }
            z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data() + at));
            z.avail_in = static_cast<uInt>(n);
            at += n;
        }
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        rc = inflate(&z, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END) {
            break;
        }
    }
    inflateEnd(&z);
}

// Inflate from 32 KiB input reads into a 256 KiB buffer, each filled buffer written to a new
// host file: what writing the files costs on top of inflate, with no CRC, no temporary file
// and no platform layer.
void RawInflateToFile(const std::string& stream, const fs::path& target, std::vector<Bytef>& out) {
    const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    z_stream z{};
    inflateInit2(&z, -15);
    std::size_t at = 0;
    std::size_t filled = 0;
    int rc = Z_OK;
    while (rc != Z_STREAM_END) {
        if (z.avail_in == 0) {
            const std::size_t n = std::min<std::size_t>(32768, stream.size() - at);
            if (n == 0) {
                break;
            }
            z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data() + at));
            z.avail_in = static_cast<uInt>(n);
            at += n;
        }
        z.next_out = out.data() + filled;
        z.avail_out = static_cast<uInt>(out.size() - filled);
        rc = inflate(&z, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END) {
            break;
        }
        filled = out.size() - z.avail_out;
        if (filled == out.size() || rc == Z_STREAM_END) {
            if (fd < 0 || ::write(fd, out.data(), filled) != static_cast<ssize_t>(filled)) {
                std::cerr << "failed: write " << target << "\n";
            }
            filled = 0;
        }
    }
    inflateEnd(&z);
    if (fd >= 0) {
        ::close(fd);
    }
}

void Run(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        std::cerr << "failed: " << command << "\n";
    }
}

void Measure(const std::string& label, const std::vector<File>& files, const fs::path& work,
             int runs) {
    fs::remove_all(work);
    fs::create_directories(work / "in");
    std::size_t bytes = 0;
    std::string list;
    for (const auto& f : files) {
        std::ofstream(work / "in" / f.Name, std::ios::binary) << f.Data;
        bytes += f.Data.size();
        list += ' ';
        list += (work / "in" / f.Name).string();
    }
    const fs::path ours = work / "ours.roy";
    const fs::path theirs = work / "theirs.zip";

    std::vector<std::string> streams;
    const double deflateFloor = Seconds(
        [&] {
            streams.clear();
            for (const auto& f : files) {
                streams.push_back(RawDeflate(f.Data));
            }
        },
        runs);
    const double zipOurs = Seconds(
        [&] {
            fs::remove(ours);
            TZipper zipper;
            zipper.ZipName = Windows(ours);
            zipper.PackLevel = 9;
            for (const auto& f : files) {
                zipper.FilesList.push_back(Windows(work / "in" / f.Name));
            }
            zipper.Zip();
        },
        runs);
    const double zipTheirs = Seconds(
        [&] {
            fs::remove(theirs);
            Run("zip -9 -q -j " + theirs.string() + list);
        },
        runs);

    std::vector<std::string> outs;
    for (const auto& f : files) {
        outs.emplace_back(f.Data.size(), '\0');
    }
    const double inflateFloor = Seconds(
        [&] {
            for (std::size_t i = 0; i < files.size(); ++i) {
                RawInflate(streams[i], outs[i]);
            }
        },
        runs);
    std::vector<Bytef> chunk(32768);
    const double inflateChunked = Seconds(
        [&] {
            for (const auto& stream : streams) {
                RawInflateChunked(stream, chunk);
            }
        },
        runs);
    std::vector<Bytef> fileChunk(262144);
    const double inflateToFiles = Seconds(
        [&] {
            fs::remove_all(work / "out-floor");
            fs::create_directories(work / "out-floor");
            for (std::size_t i = 0; i < files.size(); ++i) {
                RawInflateToFile(streams[i], work / "out-floor" / files[i].Name, fileChunk);
            }
        },
        runs);
    const double unzipOurs = Seconds(
        [&] {
            fs::remove_all(work / "out-ours");
            TUnZipper unzipper;
            unzipper.ZipName = Windows(ours);
            unzipper.DoAll = true;
            unzipper.DestDir = Windows(work / "out-ours");
            unzipper.OverwriteMode = TOverwriteMode::Always;
            unzipper.UnZip();
        },
        runs);
    const double unzipTheirs = Seconds(
        [&] {
            fs::remove_all(work / "out-theirs");
            Run("unzip -q -o " + ours.string() + " -d " + (work / "out-theirs").string());
        },
        runs);

    std::printf("%s: %zu files, %.1f MB in, archive %.1f MB (zip -9: %.1f MB)\n", label.c_str(),
                files.size(), bytes / 1e6, fs::file_size(ours) / 1e6, fs::file_size(theirs) / 1e6);
    std::printf(
        "  zip    ours %8.3f s   zlib deflate floor %8.3f s   ratio %.3f   zip -9 %8.3f s   ratio "
        "%.3f\n",
        zipOurs, deflateFloor, zipOurs / deflateFloor, zipTheirs, zipOurs / zipTheirs);
    std::printf(
        "  unzip  ours %8.3f s   zlib inflate floor %8.3f s   ratio %.3f   unzip  %8.3f s   ratio "
        "%.3f\n",
        unzipOurs, inflateFloor, unzipOurs / inflateFloor, unzipTheirs, unzipOurs / unzipTheirs);
    std::printf(
        "  unzip  ours %8.3f s   zlib inflate floor with 32 KiB buffers %8.3f s   ratio %.3f\n",
        unzipOurs, inflateChunked, unzipOurs / inflateChunked);
    std::printf(
        "  unzip  ours %8.3f s   zlib inflate + write to host files %8.3f s   ratio %.3f "
        "(that floor / inflate floor %.3f)\n",
        unzipOurs, inflateToFiles, unzipOurs / inflateToFiles, inflateToFiles / inflateFloor);
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 3;
    std::size_t mb = 100;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--runs") {
            runs = std::atoi(argv[i + 1]);
        } else if (arg == "--mb") {
            mb = static_cast<std::size_t>(std::atoi(argv[i + 1]));
        }
    }
    char pattern[] = "/tmp/quellin-bench-XXXXXX";
    if (!mkdtemp(pattern)) {
        return 1;
    }
    const fs::path root = pattern;
    sim::InitSandbox(root / "sandbox", sim::InitOptions{});
    Measure("settings set", SettingsSet(), root / "settings", runs * 5);
    Measure("mixed files", MixedSet(mb), root / "mixed", runs);
    sim::CloseSandbox();
    fs::remove_all(root);
    return 0;
}
