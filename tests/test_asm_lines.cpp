// Line tables of sdk/qasm read back (debug/asm_lines) against the image they describe, the
// symbol kinds they give pasmo's names, and malformed tables. The fixture tests/asm/lines.asm
// is assembled at build time into asm/lines.hex, .sym and .lines; its lines that the tests look
// at carry a tag "@name".
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "debug/info/asm_lines.h"
#include "debug/info/disasm.h"
#include "debug/info/symbols.h"
#include "files/file.h"

namespace {

const std::string fixture = QUILLANE_BUILD_DIR "/tests/asm/lines";
const std::string source_dir = QUILLANE_SOURCE_DIR "/tests/asm";

// The tagged lines of a source: tag -> line number.
std::map<std::string, int> tags(const std::string &path) {
    std::map<std::string, int> found;
    std::ifstream in(path);
    std::string text;
    for (int number = 1; std::getline(in, text); ++number) {
        const size_t at = text.find("; @");
        if (at != std::string::npos) found[text.substr(at + 3)] = number;
    }
    return found;
}

std::vector<uint8_t> load_image() {
    std::vector<uint8_t> memory(65536);
    uint16_t start = 0;
    EXPECT_EQ(0, emu_load_ihex_file((fixture + ".hex").c_str(), &start, memory.data(), 65536));
    return memory;
}

std::string write_file(const std::string &name, const std::string &content) {
    const std::string path = testing::TempDir() + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

// Each tagged line has the record (or none) its source says: its bytes in the image are the
// line's encoding, code or data as written, in the file that holds it; lines inside a macro
// definition or a false IF branch have none, a macro call and a REPT own what they expand to.
TEST(AsmLines, RecordsMatchTheImageLineByLine) {
    std::vector<dbg_asm_line_t> lines;
    std::vector<dbg_asm_symbol_t> symbols;
    std::string error;
    ASSERT_TRUE(dbg_asm_lines_load(fixture + ".lines", &lines, &error, &symbols)) << error;
    const std::vector<uint8_t> memory = load_image();
    const auto main_tags = tags(source_dir + "/lines.asm");
    const auto include_tags = tags(source_dir + "/lines.inc");
    ASSERT_EQ(main_tags.size(), 17u);
    ASSERT_EQ(include_tags.size(), 2u);

    auto find = [&](const std::string &file, const std::map<std::string, int> &in,
                    const std::string &tag) -> const dbg_asm_line_t * {
        EXPECT_TRUE(in.count(tag)) << tag;
        const dbg_asm_line_t *found = nullptr;
        for (const auto &r : lines)
            if (r.file == source_dir + "/" + file && r.line == in.at(tag)) {
                EXPECT_EQ(found, nullptr) << tag << " has two records";
                found = &r;
            }
        return found;
    };
    uint16_t start = 0, table = 0;
    for (const auto &s : symbols) {
        if (s.name == "start") start = s.address;
        if (s.name == "table") table = s.address;
    }
    ASSERT_NE(start, 0);
    auto expect = [&](const std::string &file, const std::map<std::string, int> &in,
                      const std::string &tag, bool code, std::vector<int> bytes) {
        const dbg_asm_line_t *r = find(file, in, tag);
        ASSERT_NE(r, nullptr) << tag;
        EXPECT_EQ(r->is_code, code) << tag;
        ASSERT_EQ(r->length, bytes.size()) << tag;
        for (size_t i = 0; i < bytes.size(); ++i) {
            // -1: the line's own address + 3, low then high byte ("jp $+3").
            const int want = bytes[i] == -1   ? (r->address + 3) & 0xFF
                             : bytes[i] == -2 ? (r->address + 3) >> 8
                                              : bytes[i];
            EXPECT_EQ(memory[r->address + i], want) << tag << " byte " << i;
        }
    };
    expect("lines.inc", include_tags, "included", true, {0x0E, 3});
    expect("lines.asm", main_tags, "constant-operand", true, {0x21, 0x28, 0x00});
    expect("lines.asm", main_tags, "label-operand", true, {0xCD, 0x00, 0x81});
    expect("lines.asm", main_tags, "local-label", true, {0x10, 0xFE});
    expect("lines.asm", main_tags, "macro", true, {0x3E, 'Q', 'Q'});
    expect("lines.asm", main_tags, "true-branch", true, {0x3E, 3});
    expect("lines.asm", main_tags, "dollar", true, {0xC3, -1, -2});
    expect("lines.asm", main_tags, "rept", true, {0x3C, 0x3C});
    expect("lines.asm", main_tags, "bytes", false, {1, 2, 'a', ';', 'b', 0});
    expect("lines.asm", main_tags, "words", false,
           {start & 0xFF, start >> 8, table & 0xFF, table >> 8});
    expect("lines.asm", main_tags, "space", false, {0xFF, 0xFF, 0xFF, 0xFF});
    expect("lines.asm", main_tags, "after-org", true, {0xC9});
    expect("lines.asm", main_tags, "text", false, {'h', 'e', 'l', 'l', 'o'});
    EXPECT_EQ(find("lines.asm", main_tags, "after-org")->address, 0x8100);
    // pasmo lists no bytes for INCBIN: its length comes from where the next line starts.
    std::ifstream included(source_dir + "/lines.inc", std::ios::binary);
    const std::string content(std::istreambuf_iterator<char>(included), {});
    expect("lines.asm", main_tags, "incbin", false,
           std::vector<int>(content.begin(), content.end()));
    for (const char *none : {"false-branch", "rept-body", "constant", "org"})
        EXPECT_EQ(find("lines.asm", main_tags, none), nullptr) << none;
    EXPECT_EQ(find("lines.inc", include_tags, "macro-body"), nullptr);
}

// With the line table beside pasmo's .sym, an EQU constant equal to an address names nothing
// there (no immediate, no stack word) but is still found by name; labels name their address.
// Without the table the kind is unknown and the constant names the address as before. A
// program's labels loaded after the monitor's win at an address they share.
TEST(AsmLines, KindsDecideWhatNamesAnAddress) {
    const std::vector<uint8_t> memory = load_image();
    dbg_symbols_t symbols;
    std::string error;
    ASSERT_GT(dbg_symbols_load(&symbols, fixture + ".sym", &error), 0) << error;
    uint16_t start = 0, delay = 0;
    ASSERT_TRUE(dbg_symbol_lookup(&symbols, "start", &start));
    ASSERT_TRUE(dbg_symbol_lookup(&symbols, "DELAY", &delay));
    EXPECT_EQ(delay, 0x28);
    dbg_symbol_kind_t kind = DBG_SYMBOL_UNKNOWN;
    ASSERT_TRUE(dbg_symbol_kind(&symbols, "DELAY", &kind));
    EXPECT_EQ(kind, DBG_SYMBOL_CONSTANT);
    ASSERT_TRUE(dbg_symbol_kind(&symbols, "routine", &kind));
    EXPECT_EQ(kind, DBG_SYMBOL_LABEL);
    EXPECT_EQ(dbg_disassemble(memory.data(), start, &symbols).text, "LD HL,$0028");
    EXPECT_EQ(dbg_disassemble(memory.data(), start + 3, &symbols).text, "CALL routine");
    EXPECT_EQ(dbg_symbol_at(&symbols, 0x28), "");
    EXPECT_EQ(dbg_symbol_near(&symbols, 0x2A), "");
    EXPECT_EQ(dbg_symbol_near(&symbols, 0x8102), "message+1");

    // The table on its own gives the same names and kinds.
    dbg_symbols_t from_table;
    ASSERT_GT(dbg_symbols_load(&from_table, fixture + ".lines", &error), 0) << error;
    EXPECT_EQ(from_table.by_name, symbols.by_name);
    EXPECT_EQ(from_table.by_address, symbols.by_address);

    // The .sym alone: pasmo does not tell EQUs from labels.
    const std::string alone = write_file("alone.sym", [] {
        std::ifstream in(fixture + ".sym");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }());
    dbg_symbols_t unknown;
    ASSERT_GT(dbg_symbols_load(&unknown, alone, &error), 0) << error;
    EXPECT_EQ(dbg_symbol_at(&unknown, 0x28), "DELAY");

    // Monitor first, then a program naming one of its addresses: the program's name wins,
    // though the monitor's comes first in name order.
    dbg_symbols_t both;
    ASSERT_GT(dbg_symbols_load(&both, QUILLANE_BUILD_DIR "/rom/tessik.sym", &error), 0) << error;
    uint16_t cold = 0;
    ASSERT_TRUE(dbg_symbol_lookup(&both, "cold_start", &cold));
    const std::string rom_name = dbg_symbol_at(&both, cold);
    char program[64];
    std::snprintf(program, sizeof program, "zz_program EQU %05XH\n", cold);
    ASSERT_GT(dbg_symbols_load(&both, write_file("program.sym", program), &error), 0) << error;
    EXPECT_LT(rom_name, "zz_program");
    EXPECT_EQ(dbg_symbol_at(&both, cold), "zz_program");
    // The monitor's own line table made its EQUs constants: the entry at 0028 is named by its
    // label, not by MON_SETCURSOR or the other constants of that value (REPEAT_RATE).
    EXPECT_EQ(dbg_symbol_at(&both, 0x28), "mon_setcursor");
    ASSERT_TRUE(dbg_symbol_kind(&both, "MON_SETCURSOR", &kind));
    EXPECT_EQ(kind, DBG_SYMBOL_CONSTANT);
}

// A file that is not a table, or a table with a bad record, is refused with the file and line;
// nothing of it is kept. Unknown record types are skipped.
TEST(AsmLines, MalformedTablesAreRefusedWithFileAndLine) {
    const std::string head = "# Quillane line table of x.asm\n";
    const struct {
        std::string name, content, message;
    } cases[] = {
        {"notes.lines", "line\tx.asm\t1\t8000\t1\tcode\n", "notes.lines:1: not a line table"},
        {"empty.lines", "", "empty.lines:1: empty"},
        {"fields.lines", head + "line\tx.asm\t1\t8000\t1\n", "fields.lines:2: a line record"},
        {"address.lines", head + "line\tx.asm\t1\t10000\t1\tcode\n",
         "address.lines:2: bad address \"10000\""},
        {"number.lines", head + "# note\nline\tx.asm\t0\t8000\t1\tcode\n",
         "number.lines:3: bad line number \"0\""},
        {"length.lines", head + "line\tx.asm\t1\t8000\t65537\tcode\n",
         "length.lines:2: bad length \"65537\""},
        {"kind.lines", head + "line\tx.asm\t1\t8000\t1\ttext\n", "kind.lines:2: bad kind \"text\""},
        {"symbol.lines", head + "symbol\tx\t8000\tequ\n", "symbol.lines:2: bad kind \"equ\""},
        {"long.lines", head + "line\tx.asm\t1\t8000\t1\tcode\n# " + std::string(70000, 'x'),
         "long.lines:3: the line is longer than 64 KiB"},
    };
    for (const auto &c : cases) {
        const std::string path = write_file(c.name, c.content);
        std::vector<dbg_asm_line_t> lines;
        std::vector<dbg_asm_symbol_t> symbols;
        std::string error;
        EXPECT_FALSE(dbg_asm_lines_load(path, &lines, &error, &symbols)) << c.name;
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        EXPECT_TRUE(lines.empty()) << c.name;
    }
    std::vector<dbg_asm_line_t> lines;
    std::string error;
    EXPECT_FALSE(dbg_asm_lines_load(testing::TempDir(), &lines, &error));
    EXPECT_NE(error.find("Is a directory"), std::string::npos) << error;

    // A later version's record is skipped; a file without a directory record names files
    // beside the table; CR LF line ends are accepted.
    const std::string path = write_file(
        "future.lines", head + "column\tx.asm\t1\t4\r\nline\tsub/x.asm\t7\t0x9000\t2\tdata\r\n");
    ASSERT_TRUE(dbg_asm_lines_load(path, &lines, &error)) << error;
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(
        lines[0].file,
        (std::filesystem::path(testing::TempDir()) / "sub/x.asm").lexically_normal().string());
    EXPECT_EQ(lines[0].line, 7);
    EXPECT_EQ(lines[0].address, 0x9000);
    EXPECT_EQ(lines[0].length, 2u);
    EXPECT_FALSE(lines[0].is_code);

    // A broken table beside a .sym makes the .sym's load fail too, and adds nothing.
    std::filesystem::create_directories(testing::TempDir() + "beside");
    write_file("beside/prog.sym", "start\t\tEQU 08000H\n");
    write_file("beside/prog.lines", head + "symbol\tstart\t8000\n");
    dbg_symbols_t symbols;
    EXPECT_EQ(-1, dbg_symbols_load(&symbols, testing::TempDir() + "beside/prog.sym", &error));
    EXPECT_NE(error.find("prog.lines:2: a symbol record"), std::string::npos) << error;
    EXPECT_TRUE(symbols.by_name.empty());
}

} // namespace
