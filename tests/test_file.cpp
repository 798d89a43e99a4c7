// Loading and saving memory images as Intel HEX files, on files in a temporary directory.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "files/file.h"
#include "files/input.h"
#include "files/output.h"

namespace {

constexpr uint32_t MEMORY_SIZE = 65536;
constexpr uint8_t UNTOUCHED = 0xAA;

// A record built here with printf, independently of the codec under test.
std::string hex_record(uint16_t address, const std::vector<uint8_t> &data, unsigned type = 0) {
    char field[16];
    std::snprintf(field, sizeof field, ":%02X%04X%02X", static_cast<unsigned>(data.size()),
                  static_cast<unsigned>(address), type);
    std::string line = field;
    unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8) + (address & 0xFF) + type;
    for (uint8_t byte : data) {
        std::snprintf(field, sizeof field, "%02X", static_cast<unsigned>(byte));
        line += field;
        sum += byte;
    }
    std::snprintf(field, sizeof field, "%02X", (256 - sum % 256) % 256);
    return line + field;
}

std::vector<uint8_t> pattern(size_t count, uint32_t seed) {
    std::vector<uint8_t> bytes(count);
    for (auto &byte : bytes) {
        seed = seed * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(seed >> 24);
    }
    return bytes;
}

bool can_bypass_permissions(const std::string &dir) {
    // Root ignores file modes; a probe file shows whether a read-only directory stops us.
    const std::string probe = dir + "/probe";
    const int fd = open(probe.c_str(), O_WRONLY | O_CREAT, 0600);
    if (fd < 0) return false;
    close(fd);
    unlink(probe.c_str());
    return true;
}

class FileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/quillane-file-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
        memory.assign(MEMORY_SIZE, UNTOUCHED);
        expected = memory;
    }
    void TearDown() override {
        std::error_code ignored;
        for (const auto &entry : std::filesystem::recursive_directory_iterator(dir, ignored))
            std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(dir, ignored);
    }

    std::string path(const std::string &name) const { return dir + "/" + name; }
    void write(const std::string &name, const std::string &content) const {
        std::ofstream out(path(name), std::ios::binary);
        out << content;
        ASSERT_TRUE(out.good());
    }
    std::string read(const std::string &name) const {
        std::ifstream in(path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    int load(const std::string &name, uint16_t *start, uint32_t memory_size = MEMORY_SIZE) {
        *start = 0x5A5A;
        return emu_load_ihex_file(path(name).c_str(), start, memory.data(), memory_size);
    }
    int load_text(const std::string &content, uint16_t *start) {
        write("image.hex", content);
        return load("image.hex", start);
    }
    int save(const std::string &name, uint16_t start, uint32_t length) {
        return emu_save_ihex_file(path(name).c_str(), start, length, memory.data(), MEMORY_SIZE);
    }
    // A FIFO with a blocking reader, and a writer of the test's own to close once the save is
    // over, so that the reader cannot see the end of the pipe before the save has opened it.
    void make_pipe(const std::string &name, int *reader, int *keeper) const {
        ASSERT_EQ(mkfifo(path(name).c_str(), 0600), 0);
        *reader = open(path(name).c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_GE(*reader, 0);
        *keeper = open(path(name).c_str(), O_WRONLY | O_NONBLOCK);
        ASSERT_GE(*keeper, 0);
        ASSERT_EQ(fcntl(*reader, F_SETFL, 0), 0);
    }
    // Records what a record at address should leave in memory.
    void expect_stored(uint16_t address, const std::vector<uint8_t> &data) {
        std::copy(data.begin(), data.end(), expected.begin() + address);
    }

    std::string dir;
    std::vector<uint8_t> memory;
    std::vector<uint8_t> expected;
};

TEST_F(FileTest, LineEndingsAndBlankLinesLoadTheSameRecords) {
    const auto first = pattern(32, 1), second = pattern(7, 2), third = pattern(16, 3);
    const std::vector<std::string> lines = {hex_record(0x4000, first), hex_record(0x0100, second),
                                            hex_record(0x4020, third)};
    expect_stored(0x4000, first);
    expect_stored(0x0100, second);
    expect_stored(0x4020, third);
    for (const std::string separator : {"\r\n", "\n", "\r", "\n\n", "\r\n\r\n\n", "\r\r\n\n"}) {
        std::string content = separator; // leading blank lines too
        for (const auto &line : lines)
            content += line + separator;
        memory.assign(MEMORY_SIZE, UNTOUCHED);
        uint16_t start = 0;
        EXPECT_EQ(load_text(content, &start), 0);
        EXPECT_EQ(start, 0x4000);
        EXPECT_EQ(memory, expected);
    }
}

TEST_F(FileTest, LastLineWithoutLineEndingLoads) {
    const auto first = pattern(32, 4), last = pattern(32, 5);
    expect_stored(0x1000, first);
    expect_stored(0x1020, last);
    uint16_t start = 0;
    EXPECT_EQ(load_text(hex_record(0x1000, first) + "\r\n" + hex_record(0x1020, last), &start), 0);
    EXPECT_EQ(start, 0x1000);
    EXPECT_EQ(memory, expected);
    // A bad last line fails even without its line ending.
    std::string bad = hex_record(0x1040, last);
    bad.back() = bad.back() == '0' ? '1' : '0';
    emu_file_error_t error{};
    write("bad.hex", hex_record(0x1000, first) + "\n" + bad);
    EXPECT_EQ(
        emu_load_ihex_file(path("bad.hex").c_str(), &start, memory.data(), MEMORY_SIZE, &error), 1);
    EXPECT_EQ(error.line, 2u);
    EXPECT_STREQ(error.text, "bad checksum");
}

TEST_F(FileTest, StartIsTheFirstRecordInFileOrder) {
    const auto high = pattern(4, 6), low = pattern(4, 7);
    uint16_t start = 0;
    EXPECT_EQ(load_text(hex_record(0x8000, high) + "\n" + hex_record(0x0000, low) + "\n", &start),
              0);
    EXPECT_EQ(start, 0x8000);

    // A first record at 0xFFFF is still the start, even with records after it.
    const auto top = pattern(1, 8);
    EXPECT_EQ(load_text(hex_record(0xFFFF, top) + "\n" + hex_record(0x1000, low) + "\n", &start),
              0);
    EXPECT_EQ(start, 0xFFFF);
    EXPECT_EQ(memory[0xFFFF], top[0]);
    EXPECT_EQ(memory[0x1000], low[0]);
}

TEST_F(FileTest, LinesThatAreNotRecordsEndTheLoadWithSuccess) {
    const auto before = pattern(16, 9), after = pattern(16, 10);
    const std::string tail = "\r\n" + hex_record(0x3000, after) + "\r\n";
    const std::string first = hex_record(0x2000, before) + "\r\n";
    expect_stored(0x2000, before);
    for (const std::string &content :
         {first + ":00000001FF" + tail, first + "; comment line" + tail,
          first + std::string(10000, '0') + tail}) {
        memory.assign(MEMORY_SIZE, UNTOUCHED);
        uint16_t start = 0;
        EXPECT_EQ(load_text(content, &start), 0) << content.substr(0, 80);
        EXPECT_EQ(start, 0x2000);
        EXPECT_EQ(memory, expected) << content.substr(0, 80);
    }
}

// Editors write a byte order mark and blanks around records; a file that stores nothing is no
// image, whatever else it holds.
TEST_F(FileTest, ByteOrderMarkAndBlanksAreSkippedAndAFileWithoutDataFails) {
    const auto first = pattern(16, 40), longest = pattern(255, 41);
    expect_stored(0x2000, first);
    expect_stored(0x4000, longest);
    uint16_t start = 0;
    EXPECT_EQ(load_text("\xEF\xBB\xBF  \t" + hex_record(0x2000, first) + " \t\r\n\t" +
                            hex_record(0x4000, longest) + std::string(40, ' ') + "\n",
                        &start),
              0);
    EXPECT_EQ(start, 0x2000);
    EXPECT_EQ(memory, expected);

    memory.assign(MEMORY_SIZE, UNTOUCHED);
    expected = memory;
    for (const std::string &content : std::vector<std::string>{
             "", "\r\n\n\r", "\xEF\xBB\xBF", ":00000001FF\r\n" + hex_record(0x3000, first),
             "hello\r\n" + hex_record(0x3000, first),
             hex_record(0, {0, 0}, 4) + "\r\n:00000001FF\r\n"}) {
        write("image.hex", content);
        emu_file_error_t error{};
        EXPECT_EQ(emu_load_ihex_file(path("image.hex").c_str(), &start, memory.data(), MEMORY_SIZE,
                                     &error),
                  1)
            << content;
        EXPECT_EQ(start, 0xFFFF);
        EXPECT_EQ(error.line, 0u);
        EXPECT_STREQ(error.text, "the file holds no data record");
        EXPECT_EQ(memory, expected);
    }
}

TEST_F(FileTest, BadRecordsFailTheLoadKeepingEarlierRecordsAndSayWhy) {
    const auto good = pattern(32, 11), later = pattern(32, 12);
    std::string bad_checksum = hex_record(0x2020, pattern(32, 13));
    bad_checksum.back() = bad_checksum.back() == '0' ? '1' : '0';
    std::string bad_digit = hex_record(0x2020, pattern(32, 13));
    bad_digit[20] = 'G';
    std::string with_nul = hex_record(0x2020, pattern(32, 13));
    with_nul[30] = '\0';
    const struct {
        std::string line;
        const char *reason;
    } cases[] = {
        {bad_checksum, "bad checksum"},
        {bad_digit, "not a hex digit in column 21"},
        {with_nul, "not a hex digit in column 31"},
        {hex_record(0x2020, {}), "empty data record"},
        {hex_record(0x2020, pattern(32, 13)).substr(0, 40), "the record ends early"},
        {":10202000", "the record ends early"},
        {":FF202000" + std::string(600, '1'), "line too long"},
        {hex_record(0x2020, pattern(255, 14)) + "ZZ", "line too long"},
        {":0380", "the record ends early"},
        {":", "the record ends early"},
        {"  :", "the record ends early"},
        {":020000060000F8", "unknown record type 06"},
        {hex_record(0xFFF0, pattern(17, 15)), "record past the end of memory"},
        {hex_record(0, {0x12, 0x34}, 4), "address record beyond the 64 KB address space"},
        {hex_record(0, {0x10, 0x00}, 2), "address record beyond the 64 KB address space"},
        {hex_record(0, {0, 0, 0}, 4), "malformed address record"},
    };
    expect_stored(0x2000, good);
    for (const auto &c : cases) {
        memory.assign(MEMORY_SIZE, UNTOUCHED);
        write("image.hex", "\n" + hex_record(0x2000, good) + "\r\n\r\n" + c.line + "\r\n" +
                               hex_record(0x3000, later) + "\r\n");
        uint16_t start = 0;
        emu_file_error_t error{};
        EXPECT_EQ(emu_load_ihex_file(path("image.hex").c_str(), &start, memory.data(), MEMORY_SIZE,
                                     &error),
                  1)
            << c.line;
        EXPECT_EQ(start, 0x2000) << c.line;
        EXPECT_EQ(memory, expected) << c.line;
        EXPECT_EQ(error.line, 4u) << c.line;
        EXPECT_STREQ(error.text, c.reason) << c.line;
    }
}

// Records of up to 255 bytes, as tools that fill whole records write them: objcopy's layout (an
// extended linear address record of base 0 first, a start address and an end record) and a plain
// hand-made file with LF endings and no end record.
TEST_F(FileTest, LongRecordsAndAddressRecordsOfBaseZeroLoad) {
    const auto first = pattern(255, 30), second = pattern(255, 31), third = pattern(200, 32);
    expect_stored(0x4000, first);
    expect_stored(0x40FF, second);
    expect_stored(0x41FE, third);
    const std::string objcopy_style =
        hex_record(0, {0, 0}, 4) + "\r\n" + hex_record(0x4000, first) + "\r\n" +
        hex_record(0, {0, 0}, 2) + "\r\n" + hex_record(0x40FF, second) + "\r\n" +
        hex_record(0x41FE, third) + "\r\n" + hex_record(0, {0, 0, 0x40, 0}, 5) + "\r\n" +
        hex_record(0, {0, 0, 0x40, 0}, 3) + "\r\n:00000001FF\r\n" + hex_record(0x8000, first) +
        "\r\n";
    const std::string hand_made = hex_record(0x4000, first) + "\n" + hex_record(0x40FF, second) +
                                  "\n" + hex_record(0x41FE, third) + "\n";
    ASSERT_EQ(hex_record(0x4000, first).size(), 521u);
    for (const auto &content : {objcopy_style, hand_made}) {
        memory.assign(MEMORY_SIZE, UNTOUCHED);
        uint16_t start = 0;
        EXPECT_EQ(load_text(content, &start), 0);
        EXPECT_EQ(start, 0x4000);
        EXPECT_EQ(memory, expected);
    }
}

// Bytes read by this process so far, or -1 where the kernel does not say.
long long bytes_read_by_process() {
    std::ifstream io("/proc/self/io");
    std::string key;
    long long value = 0;
    while (io >> key >> value)
        if (key == "rchar:") return value;
    return -1;
}

TEST_F(FileTest, LoadOfAHugeFileStopsReadingWhereTheLoadEnds) {
    const auto data = pattern(16, 33);
    write("huge.hex", hex_record(0x5000, data) + "\r\n:00000001FF\r\n");
    // 3 GB of zero bytes after the end record, taking no space on disk.
    ASSERT_EQ(truncate(path("huge.hex").c_str(), 3LL << 30), 0);
    write("zeros.hex", "");
    ASSERT_EQ(truncate(path("zeros.hex").c_str(), 3LL << 30), 0);
    const long long before = bytes_read_by_process();
    if (before < 0) GTEST_SKIP() << "the kernel does not count the bytes a process reads";
    expect_stored(0x5000, data);
    uint16_t start = 0;
    EXPECT_EQ(load("huge.hex", &start), 0);
    EXPECT_EQ(memory, expected);
    EXPECT_EQ(load("zeros.hex", &start), 1); // no data record before the first text line
    EXPECT_EQ(memory, expected);
    EXPECT_LT(bytes_read_by_process() - before, 1 << 20);
}

TEST_F(FileTest, RecordsReachingTheEndOfMemory) {
    const auto top = pattern(32, 16);
    expect_stored(0xFFE0, top);
    uint16_t start = 0;
    EXPECT_EQ(load_text(hex_record(0xFFE0, top) + "\r\n", &start), 0);
    EXPECT_EQ(start, 0xFFE0);
    EXPECT_EQ(memory, expected);

    // A smaller memory: nothing is written at or past its size.
    memory.assign(MEMORY_SIZE, UNTOUCHED);
    expected = memory;
    const auto fits = pattern(16, 17);
    expect_stored(0x00F0, fits);
    EXPECT_EQ(load_text(hex_record(0x00F0, fits) + "\r\n", &start), 0);
    write("short.hex", hex_record(0x00F0, fits) + "\r\n" + hex_record(0x00F1, fits) + "\r\n");
    EXPECT_EQ(load("short.hex", &start, 0x100), 1);
    write("past.hex", hex_record(0x0100, pattern(1, 18)) + "\r\n");
    EXPECT_EQ(load("past.hex", &start, 0x100), 1);
    EXPECT_EQ(start, 0xFFFF);
    EXPECT_EQ(memory, expected);
}

TEST_F(FileTest, ShortLinesNeverReuseAnEarlierLine) {
    // The line buffer still holds the first record when the short line arrives; reading past the
    // short line would find a complete record there.
    const auto first = pattern(16, 19), later = pattern(16, 20);
    const std::string record = hex_record(0x2000, first);
    const std::string next = hex_record(0x3000, later) + "\r\n";
    expect_stored(0x2000, first);
    uint16_t start = 0;
    for (size_t length = 1; length < record.size() - 1; length += 3) {
        memory.assign(MEMORY_SIZE, UNTOUCHED);
        EXPECT_EQ(load_text(record + "\r\n" + record.substr(0, length) + "\r\n" + next, &start), 1)
            << length;
        EXPECT_EQ(memory, expected) << length;
    }
}

TEST_F(FileTest, OverlongLinesFail) {
    const auto data = pattern(122, 21);
    uint16_t start = 0;
    // A record followed by more than the longest record can hold is no record.
    const std::string record = hex_record(0x1000, data);
    expect_stored(0x0800, data);
    EXPECT_EQ(load_text(hex_record(0x0800, data) + "\r\n" + record + std::string(300, 'Z') +
                            "\r\n" + record + "\r\n",
                        &start),
              1);
    EXPECT_EQ(start, 0x0800);
    EXPECT_EQ(memory, expected);
    // A data record of endless digits fails to decode.
    EXPECT_EQ(load_text(":00000000" + std::string(5000, '0') + "\r\n", &start), 1);
    EXPECT_EQ(load_text(":FF000000" + std::string(5000, '1'), &start), 1);
    EXPECT_EQ(memory, expected);
}

TEST_F(FileTest, UnreadableInputFails) {
    uint16_t start = 0;
    EXPECT_EQ(load("missing.hex", &start), 1);
    EXPECT_EQ(start, 0xFFFF);
    std::filesystem::create_directory(path("folder"));
    EXPECT_EQ(load("folder", &start), 1);
    EXPECT_EQ(emu_load_ihex_file("/dev/zero", &start, memory.data(), MEMORY_SIZE), 1);
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
    EXPECT_EQ(load("fifo", &start), 1);
    const struct {
        std::string name;
        const char *reason;
    } reasons[] = {{"missing.hex", "No such file or directory"},
                   {"folder", "Is a directory"},
                   {"fifo", "not a regular file"}};
    for (const auto &r : reasons) {
        emu_file_error_t error{};
        EXPECT_EQ(
            emu_load_ihex_file(path(r.name).c_str(), &start, memory.data(), MEMORY_SIZE, &error),
            1);
        EXPECT_EQ(error.line, 0u);
        EXPECT_STREQ(error.text, r.reason);
    }
    EXPECT_EQ(emu_load_ihex_file(nullptr, &start, memory.data(), MEMORY_SIZE), 1);
    EXPECT_EQ(memory, expected);
}

// The one reader of whole files and of lines refuses at once what may never end or never answer
// (a FIFO without a writer, a device, a folder) and a file larger than its bound, judged by its
// size before anything is read or allocated; a file that grows past the bound while read fails.
TEST_F(FileTest, BoundedReadersRefuseWhatMayNotEndAndWhatIsTooLarge) {
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
    std::filesystem::create_directory(path("folder"));
    write("huge", "");
    ASSERT_EQ(truncate(path("huge").c_str(), 2147483648), 0); // sparse: takes no room
    write("ten", "0123456789");
    const struct {
        std::string path;
        uint64_t bound;
        const char *reason;
    } refused[] = {
        {path("fifo"), 0, "not a regular file (a FIFO)"},
        {"/dev/zero", 0, "not a regular file (a device)"},
        {path("folder"), 0, "Is a directory"},
        {path("missing"), 0, "No such file or directory"},
        {"", 0, "no file name given"},
        {path("huge"), 1u << 20, "too large (2147483648 bytes; at most 1 MiB)"},
        {path("ten"), 9, "too large (10 bytes; at most 9 bytes)"},
    };
    for (const auto &r : refused) {
        std::vector<uint8_t> bytes{1};
        emu_file_error_t error{};
        EXPECT_FALSE(emu_read_file(r.path.c_str(), r.bound, &bytes, &error)) << r.path;
        EXPECT_STREQ(error.text, r.reason) << r.path;
        EXPECT_TRUE(bytes.empty()) << r.path;
        EXPECT_EQ(bytes.capacity(), 1u) << r.path << ": nothing allocated for a refused file";
    }
    std::vector<uint8_t> bytes;
    emu_file_error_t error{};
    ASSERT_TRUE(emu_read_file(path("ten").c_str(), 10, &bytes, &error)) << error.text;
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "0123456789");

    // The line reader: the same refusals (naming standard input as the other choice).
    emu_line_reader_t reader;
    EXPECT_FALSE(emu_reader_open(&reader, path("fifo").c_str(), &error, 1u << 20));
    EXPECT_STREQ(error.text, "not a regular file (a file or - for standard input)");
    EXPECT_FALSE(emu_reader_open(&reader, path("huge").c_str(), &error, 1u << 20));
    EXPECT_STREQ(error.text, "too large (2147483648 bytes; at most 1 MiB)");
    // Within its bound when opened, past it once the file grew.
    write("growing", "one\ntwo\n");
    ASSERT_TRUE(emu_reader_open(&reader, path("growing").c_str(), &error, 16));
    {
        std::ofstream more(path("growing"), std::ios::app);
        more << "three\nfour\n";
    }
    std::string line;
    EXPECT_EQ(emu_reader_next(&reader, &line, &error), -1);
    EXPECT_STREQ(error.text, "too large (19 bytes; at most 16 bytes)");
    emu_reader_close(&reader);
    // Without a bound only the lines are bounded (a script of any length).
    ASSERT_TRUE(emu_reader_open(&reader, path("growing").c_str(), &error));
    int lines = 0;
    while (emu_reader_next(&reader, &line, &error) > 0)
        ++lines;
    EXPECT_EQ(lines, 4);
    emu_reader_close(&reader);
}

TEST_F(FileTest, FileWithoutReadPermissionFails) {
    write("secret.hex", hex_record(0x2000, pattern(4, 23)) + "\r\n");
    chmod(path("secret.hex").c_str(), 0);
    if (can_bypass_permissions(dir)) GTEST_SKIP() << "running with permission to bypass file modes";
    uint16_t start = 0;
    EXPECT_EQ(load("secret.hex", &start), 1);
    EXPECT_EQ(memory, expected);
}

TEST_F(FileTest, SaveWritesThirtyTwoByteRecordsWithCrLf) {
    const auto block = pattern(33, 24);
    std::copy(block.begin(), block.end(), memory.begin() + 0x2000);
    ASSERT_EQ(save("sixteen.hex", 0x2000, 16), 0);
    EXPECT_EQ(read("sixteen.hex"),
              hex_record(0x2000, std::vector<uint8_t>(block.begin(), block.begin() + 16)) + "\r\n");
    EXPECT_EQ(read("sixteen.hex").substr(0, 9), ":10200000");

    ASSERT_EQ(save("thirtythree.hex", 0x2000, 33), 0);
    EXPECT_EQ(read("thirtythree.hex"),
              hex_record(0x2000, std::vector<uint8_t>(block.begin(), block.begin() + 32)) + "\r\n" +
                  hex_record(0x2020, {block[32]}) + "\r\n");

    ASSERT_EQ(save("top.hex", 0xFFFF, 1), 0);
    EXPECT_EQ(read("top.hex"), hex_record(0xFFFF, {memory[0xFFFF]}) + "\r\n");

    // An existing, longer file is replaced.
    write("replace.hex", std::string(5000, 'x'));
    ASSERT_EQ(save("replace.hex", 0x2000, 16), 0);
    EXPECT_EQ(read("replace.hex"), read("sixteen.hex"));
}

TEST_F(FileTest, WholeMemoryRoundTrip) {
    memory = pattern(MEMORY_SIZE, 25);
    ASSERT_EQ(save("all.hex", 0, MEMORY_SIZE), 0);
    const std::string text = read("all.hex");
    ASSERT_EQ(text.size(), 2048u * 77u);
    std::istringstream lines(text);
    std::string line;
    unsigned count = 0;
    while (std::getline(lines, line, '\n')) {
        ASSERT_EQ(line.size(), 76u);
        EXPECT_EQ(line.back(), '\r');
        char address[8];
        std::snprintf(address, sizeof address, "%04X", count * 32);
        EXPECT_EQ(line.substr(0, 9), std::string(":20") + address + "00");
        ++count;
    }
    EXPECT_EQ(count, 2048u);
    EXPECT_EQ(text.find(":00000001FF"), std::string::npos);

    const std::vector<uint8_t> saved = memory;
    memory.assign(MEMORY_SIZE, 0);
    uint16_t start = 0x1111;
    ASSERT_EQ(load("all.hex", &start), 0);
    EXPECT_EQ(start, 0x0000);
    EXPECT_EQ(memory, saved);
}

TEST_F(FileTest, SaveFailures) {
    EXPECT_EQ(save("missing/dir/image.hex", 0, 16), 1);
    std::filesystem::create_directory(path("folder"));
    EXPECT_EQ(save("folder", 0, 16), 1);
    write("plain", "x");
    EXPECT_EQ(save("plain/image.hex", 0, 16), 1);
    // No one may create files in /proc, not even root.
    EXPECT_EQ(emu_save_ihex_file("/proc/quillane-image.hex", 0, 16, memory.data(), MEMORY_SIZE), 1);
    EXPECT_EQ(emu_save_ihex_file("/dev/full", 0, 16, memory.data(), MEMORY_SIZE), 1);
    EXPECT_EQ(emu_save_ihex_file("/dev/full", 0, MEMORY_SIZE, memory.data(), MEMORY_SIZE), 1);
    // A FIFO nobody reads would block the open forever.
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
    EXPECT_EQ(save("fifo", 0, 16), 1);

    // Requests outside the contract are refused before the file is touched.
    write("keep.hex", "keep");
    EXPECT_EQ(save("keep.hex", 0x1000, 0), 1);
    EXPECT_EQ(save("keep.hex", 0xFFFF, 2), 1);
    EXPECT_EQ(save("keep.hex", 0, MEMORY_SIZE + 1), 1);
    EXPECT_EQ(save("keep.hex", 0x8000, 0xFFFFFFFFu), 1);
    EXPECT_EQ(emu_save_ihex_file(path("keep.hex").c_str(), 0x00F0, 17, memory.data(), 0x100), 1);
    EXPECT_EQ(read("keep.hex"), "keep");
    EXPECT_FALSE(std::filesystem::exists(path("never.hex")));
    EXPECT_EQ(save("never.hex", 0, 0), 1);
    EXPECT_FALSE(std::filesystem::exists(path("never.hex")));
}

// A save that fails half way (here the file size limit, as a full disk would) leaves the old
// file as it was and no temporary file behind; a good save keeps the old file's permissions and
// replaces the file a symbolic link points to, not the link.
TEST_F(FileTest, FailedSaveLeavesTheOldFileAndGoodSaveKeepsItsMode) {
    memory = pattern(MEMORY_SIZE, 34);
    write("old.hex", "old contents\r\n");
    ASSERT_EQ(chmod(path("old.hex").c_str(), 0640), 0);
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(sigaction(SIGXFSZ, &ignore, &previous), 0);
    rlimit limit{}, saved_limit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved_limit), 0);
    limit = saved_limit;
    limit.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    emu_file_error_t error{};
    const int result = emu_save_ihex_file(path("old.hex").c_str(), 0, MEMORY_SIZE, memory.data(),
                                          MEMORY_SIZE, &error);
    setrlimit(RLIMIT_FSIZE, &saved_limit);
    sigaction(SIGXFSZ, &previous, nullptr);
    EXPECT_EQ(result, 1);
    EXPECT_STREQ(error.text, "File too large");
    EXPECT_EQ(read("old.hex"), "old contents\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir),
                            std::filesystem::directory_iterator()),
              1);

    ASSERT_EQ(symlink("old.hex", path("link.hex").c_str()), 0);
    ASSERT_EQ(save("link.hex", 0x100, 64), 0);
    EXPECT_TRUE(std::filesystem::is_symlink(path("link.hex")));
    EXPECT_EQ(read("old.hex"), hex_record(0x100, std::vector<uint8_t>(memory.begin() + 0x100,
                                                                      memory.begin() + 0x120)) +
                                   "\r\n" +
                                   hex_record(0x120, std::vector<uint8_t>(memory.begin() + 0x120,
                                                                          memory.begin() + 0x140)) +
                                   "\r\n");
    struct stat info {};
    ASSERT_EQ(stat(path("old.hex").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir),
                            std::filesystem::directory_iterator()),
              2);
}

// A streamed output (a trace, a recording) replaces the old file only at close, with its header
// patched in; a discarded one or a failed one leaves the old file; a pipe is written in place and
// cannot be patched; an empty path names nothing.
TEST_F(FileTest, StreamedOutputReplacesTheFileOnlyAtItsClose) {
    const auto entries = [this] {
        return std::distance(std::filesystem::directory_iterator(dir),
                             std::filesystem::directory_iterator());
    };
    write("stream.bin", "old");
    emu_output_t out;
    emu_file_error_t error{};
    ASSERT_TRUE(emu_output_open(&out, path("stream.bin").c_str(), &error));
    EXPECT_FALSE(out.in_place);
    const std::string body(200000, 'b');
    EXPECT_TRUE(emu_output_write(&out, "....", 4));
    EXPECT_TRUE(emu_output_write(&out, body.data(), body.size()));
    EXPECT_EQ(read("stream.bin"), "old");
    EXPECT_TRUE(emu_output_patch(&out, 1, "HD", 2));
    EXPECT_TRUE(emu_output_close(&out, &error)) << error.text;
    EXPECT_EQ(read("stream.bin"), ".HD." + body);
    EXPECT_EQ(entries(), 1);

    ASSERT_TRUE(emu_output_open(&out, path("stream.bin").c_str(), &error));
    emu_output_write(&out, "new", 3);
    emu_output_discard(&out);
    EXPECT_EQ(read("stream.bin").size(), body.size() + 4);
    EXPECT_EQ(entries(), 1);

    ASSERT_TRUE(emu_output_open(&out, "/dev/full", &error));
    EXPECT_TRUE(out.in_place);
    EXPECT_FALSE(emu_output_patch(&out, 0, "x", 1));
    EXPECT_FALSE(emu_output_write(&out, body.data(), body.size()));
    EXPECT_FALSE(emu_output_close(&out, &error));
    EXPECT_STREQ(error.text, "No space left on device");

    EXPECT_FALSE(emu_output_open(&out, "", &error));
    EXPECT_STREQ(error.text, "no file name given");
    ASSERT_EQ(mkfifo(path("unread").c_str(), 0600), 0);
    EXPECT_FALSE(emu_output_open(&out, path("unread").c_str(), &error));
    EXPECT_STREQ(error.text, "no program is reading from the pipe");
}

// The temporary file's name fits wherever the target's does: a name of the longest length a
// folder allows is written, one byte longer is refused as the system refuses it.
// A symbolic link is written through, also when the file it names does not exist yet: the
// link stays, its target is created or replaced, following a chain of links.
TEST_F(FileTest, LongNamesFitAndLinksAreWrittenThrough) {
    const auto entries = [this] {
        return std::distance(std::filesystem::directory_iterator(dir),
                             std::filesystem::directory_iterator());
    };
    emu_file_error_t error{};
    const long name_max = pathconf(dir.c_str(), _PC_NAME_MAX);
    ASSERT_GT(name_max, 16);
    for (const long length : {name_max - 6, name_max}) {
        const std::string name(static_cast<size_t>(length), 'n');
        write(name, "old");
        ASSERT_TRUE(emu_write_file(path(name).c_str(), "long", 4, &error)) << length << error.text;
        EXPECT_EQ(read(name), "long");
        EXPECT_EQ(entries(), 1);
        std::filesystem::remove(path(name));
    }
    const std::string too_long(static_cast<size_t>(name_max + 1), 'n');
    EXPECT_FALSE(emu_write_file(path(too_long).c_str(), "x", 1, &error));
    EXPECT_STREQ(error.text, "File name too long");
    EXPECT_EQ(entries(), 0);

    // Dangling, through a chain: chain -> sub/link -> ../made.hex, which does not exist.
    std::filesystem::create_directory(path("sub"));
    ASSERT_EQ(symlink("../made.hex", path("sub/link").c_str()), 0);
    ASSERT_EQ(symlink("sub/link", path("chain").c_str()), 0);
    ASSERT_TRUE(emu_write_file(path("chain").c_str(), "made", 4, &error)) << error.text;
    EXPECT_TRUE(std::filesystem::is_symlink(path("chain")));
    EXPECT_TRUE(std::filesystem::is_symlink(path("sub/link")));
    EXPECT_EQ(read("made.hex"), "made");
    ASSERT_TRUE(emu_write_file(path("chain").c_str(), "again", 5, &error)) << error.text;
    EXPECT_EQ(read("made.hex"), "again");
    EXPECT_EQ(entries(), 3);

    // A link into a folder that does not exist, and a loop of links, change nothing.
    ASSERT_EQ(symlink("gone/x.hex", path("nowhere").c_str()), 0);
    EXPECT_FALSE(emu_write_file(path("nowhere").c_str(), "x", 1, &error));
    EXPECT_STREQ(error.text, "the folder does not exist");
    EXPECT_TRUE(std::filesystem::is_symlink(path("nowhere")));
    ASSERT_EQ(symlink("loop2", path("loop1").c_str()), 0);
    ASSERT_EQ(symlink("loop1", path("loop2").c_str()), 0);
    EXPECT_FALSE(emu_write_file(path("loop1").c_str(), "x", 1, &error));
    EXPECT_STREQ(error.text, "Too many levels of symbolic links");
    EXPECT_EQ(entries(), 6);
}

TEST_F(FileTest, SaveToAPipeWhoseReaderLeavesFails) {
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(sigaction(SIGPIPE, &ignore, &previous), 0);
    int reader = -1, keeper = -1;
    ASSERT_NO_FATAL_FAILURE(make_pipe("pipe", &reader, &keeper));
    std::thread early_close([&] {
        char chunk[100];
        [[maybe_unused]] const ssize_t got = ::read(reader, chunk, sizeof chunk);
        close(reader);
    });
    emu_file_error_t error{};
    const int result = emu_save_ihex_file(path("pipe").c_str(), 0, MEMORY_SIZE, memory.data(),
                                          MEMORY_SIZE, &error);
    close(keeper);
    early_close.join();
    sigaction(SIGPIPE, &previous, nullptr);
    EXPECT_EQ(result, 1);
    EXPECT_STREQ(error.text, "Broken pipe");
    EXPECT_EQ(save("pipe", 0, 16), 1) << "no reader at all";
    EXPECT_TRUE(std::filesystem::is_fifo(path("pipe")));
}

TEST_F(FileTest, SaveIntoReadOnlyDirectoryFails) {
    std::filesystem::create_directory(path("locked"));
    chmod(path("locked").c_str(), 0555);
    if (can_bypass_permissions(path("locked")))
        GTEST_SKIP() << "running with permission to bypass file modes";
    EXPECT_EQ(save("locked/image.hex", 0, 16), 1);
}

TEST_F(FileTest, SaveIntoASlowPipeWritesEverything) {
    // A pipe takes at most its buffer at a time, so the save has to wait for the reader.
    memory = pattern(MEMORY_SIZE, 26);
    int reader = -1, keeper = -1;
    ASSERT_NO_FATAL_FAILURE(make_pipe("pipe", &reader, &keeper));
    std::string received;
    std::thread drain([&] {
        char chunk[4096];
        for (;;) {
            const ssize_t got = ::read(reader, chunk, sizeof chunk);
            if (got <= 0) break;
            received.append(chunk, static_cast<size_t>(got));
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    const int result = save("pipe", 0, MEMORY_SIZE);
    close(keeper);
    drain.join();
    close(reader);
    ASSERT_EQ(result, 0);
    ASSERT_EQ(save("file.hex", 0, MEMORY_SIZE), 0);
    EXPECT_EQ(received, read("file.hex"));
}

// objcopy from binutils writes 16-byte records, CR LF and an end record; the board's files are
// read and written by it both ways.
TEST_F(FileTest, ImagesFromObjcopyLoad) {
    const auto image = pattern(1000, 27);
    {
        std::ofstream out(path("in.bin"), std::ios::binary);
        out.write(reinterpret_cast<const char *>(image.data()),
                  static_cast<std::streamsize>(image.size()));
    }
    const std::string command = "objcopy -I binary -O ihex --change-addresses 0x3000 " +
                                path("in.bin") + " " + path("objcopy.hex");
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    ASSERT_NE(read("objcopy.hex").find(":00000001FF"), std::string::npos);
    expect_stored(0x3000, image);
    uint16_t start = 0;
    ASSERT_EQ(load("objcopy.hex", &start), 0);
    EXPECT_EQ(start, 0x3000);
    EXPECT_EQ(memory, expected);
}

TEST_F(FileTest, SavedImagesConvertBackWithObjcopy) {
    memory = pattern(MEMORY_SIZE, 28);
    struct {
        uint16_t start;
        uint32_t length;
    } blocks[] = {{0x1234, 777}, {0xFFFF, 1}, {0, MEMORY_SIZE}};
    for (const auto &block : blocks) {
        ASSERT_EQ(save("saved.hex", block.start, block.length), 0);
        std::filesystem::remove(path("out.bin"));
        const std::string command =
            "objcopy -I ihex -O binary " + path("saved.hex") + " " + path("out.bin");
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        const std::string bytes = read("out.bin");
        EXPECT_EQ(bytes, std::string(memory.begin() + block.start,
                                     memory.begin() + block.start + block.length))
            << block.start;
    }
}

} // namespace
