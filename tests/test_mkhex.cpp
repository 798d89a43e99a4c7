// quillane-mkhex, the build tool that turns assembled programs into HEX images: the images it
// writes load back byte for byte at their address, and bad arguments leave no file behind.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "files/file.h"

namespace {

const std::string tool = QUILLANE_BUILD_DIR "/quillane-mkhex";

class Mkhex : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/mkhex-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        dir_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

    std::string path(const std::string &name) { return dir_ + "/" + name; }

    void write_bin(const std::string &name, const std::vector<uint8_t> &bytes) {
        std::ofstream out(path(name), std::ios::binary);
        out.write(reinterpret_cast<const char *>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }

    // Exit code of the tool with these arguments (its messages go to a log file).
    int run(const std::string &args) {
        const int status = std::system((tool + " " + args + " 2>'" + path("log") + "'").c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    bool exists(const std::string &name) { return std::ifstream(path(name)).good(); }

    std::vector<std::string> lines(const std::string &name) {
        std::ifstream in(path(name), std::ios::binary);
        std::vector<std::string> out;
        std::string line;
        while (std::getline(in, line))
            out.push_back(line);
        return out;
    }

    std::string dir_;
};

std::vector<uint8_t> counting(size_t count) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<uint8_t>(i * 7 + 3);
    return bytes;
}

TEST_F(Mkhex, ImageLoadsBackAtItsAddress) {
    const auto bytes = counting(70);
    write_bin("prog.bin", bytes);
    ASSERT_EQ(0, run(path("prog.bin") + " 8000 " + path("prog.hex")));
    // 70 bytes: two full 32-byte records and one of 6, each ending in CR LF.
    const auto text = lines("prog.hex");
    ASSERT_EQ(3u, text.size());
    EXPECT_EQ(":20800000", text[0].substr(0, 9));
    EXPECT_EQ(":20802000", text[1].substr(0, 9));
    EXPECT_EQ(":06804000", text[2].substr(0, 9));
    for (const auto &line : text)
        EXPECT_EQ('\r', line.back());

    static uint8_t memory[65536];
    uint16_t start = 0;
    ASSERT_EQ(0, emu_load_ihex_file(path("prog.hex").c_str(), &start, memory, sizeof memory));
    EXPECT_EQ(0x8000, start);
    EXPECT_EQ(bytes, std::vector<uint8_t>(memory + 0x8000, memory + 0x8000 + 70));
    EXPECT_EQ(0, memory[0x7FFF]);
    EXPECT_EQ(0, memory[0x8000 + 70]);
}

TEST_F(Mkhex, AddressWithOrWithoutPrefix) {
    write_bin("prog.bin", counting(40));
    ASSERT_EQ(0, run(path("prog.bin") + " 0x00C0 " + path("a.hex")));
    ASSERT_EQ(0, run(path("prog.bin") + " c0 " + path("b.hex")));
    EXPECT_EQ(lines("a.hex"), lines("b.hex"));
    EXPECT_EQ(":2000C000", lines("a.hex")[0].substr(0, 9));
}

TEST_F(Mkhex, ImageReachingTheTopOfMemory) {
    write_bin("prog.bin", counting(32));
    EXPECT_EQ(0, run(path("prog.bin") + " ffe0 " + path("top.hex")));
    EXPECT_EQ(1u, lines("top.hex").size());
    // One byte more would run past FFFF.
    write_bin("long.bin", counting(33));
    EXPECT_EQ(1, run(path("long.bin") + " ffe0 " + path("long.hex")));
    EXPECT_FALSE(exists("long.hex"));
}

TEST_F(Mkhex, BadArgumentsWriteNothing) {
    write_bin("prog.bin", counting(4));
    write_bin("empty.bin", {});
    EXPECT_EQ(2, run(path("prog.bin") + " 80g0 " + path("x.hex")));
    EXPECT_EQ(2, run(path("prog.bin") + " 10000 " + path("x.hex")));
    EXPECT_EQ(2, run(path("prog.bin") + " 0x " + path("x.hex")));
    EXPECT_EQ(2, run(path("prog.bin") + " 8000"));
    EXPECT_EQ(1, run(path("missing.bin") + " 8000 " + path("x.hex")));
    EXPECT_EQ(1, run(path("empty.bin") + " 8000 " + path("x.hex")));
    EXPECT_FALSE(exists("x.hex"));
    EXPECT_EQ(1, run(path("prog.bin") + " 8000 " + path("no/such/dir.hex")));
}

} // namespace
