// Line tables of sdk/qasm: a tab-separated text file read record by record.
#include "debug/info/asm_lines.h"

#include <filesystem>

#include "debug/info/symbols.h"
#include "files/input.h"

namespace {

constexpr char header[] = "# Quillane line table";

std::vector<std::string> split_tabs(const std::string &line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos) return fields;
        start = tab + 1;
    }
}

bool parse_decimal(const std::string &text, uint32_t max, uint32_t *value) {
    uint64_t v = 0;
    if (!dbg_parse_decimal(text, max, &v)) return false;
    *value = static_cast<uint32_t>(v);
    return true;
}

bool parse_address(const std::string &text, uint16_t *address) {
    uint32_t v = 0;
    if (!dbg_parse_hex(text, 0xFFFF, &v)) return false;
    *address = static_cast<uint16_t>(v);
    return true;
}

} // namespace

bool dbg_asm_lines_is_table(const std::string &path) {
    // Standard input is never a table: looking would take its first line from whoever reads it.
    if (path == "-") return false;
    emu_line_reader_t reader;
    if (!emu_reader_open(&reader, path.c_str(), nullptr, EMU_MAX_DEBUG_FILE_BYTES)) return false;
    std::string first;
    const bool table = emu_reader_next(&reader, &first, nullptr) > 0 && first.rfind(header, 0) == 0;
    emu_reader_close(&reader);
    return table;
}

bool dbg_asm_lines_load(const std::string &path, std::vector<dbg_asm_line_t> *records,
                        std::string *error, std::vector<dbg_asm_symbol_t> *symbols) {
    records->clear();
    if (symbols) symbols->clear();
    emu_line_reader_t reader;
    emu_file_error_t reason{};
    if (!emu_reader_open(&reader, path.c_str(), &reason, EMU_MAX_DEBUG_FILE_BYTES)) {
        *error = emu_file_error_message(path, reason);
        return false;
    }

    // Relative file names start in the table's own directory unless a record says otherwise.
    std::filesystem::path directory = std::filesystem::path(path).parent_path();
    std::string line;
    uint32_t number = 0;
    auto fail = [&](const std::string &text) {
        *error = path + ":" + std::to_string(number) + ": " + text;
        records->clear();
        if (symbols) symbols->clear();
        emu_reader_close(&reader);
        return false;
    };
    for (;;) {
        const int got = emu_reader_next(&reader, &line, &reason);
        // The line read, or the one that was to come (a line too long was counted already).
        number = got > 0 || reason.line != 0 ? reader.line : reader.line + 1;
        if (got == 0 && number == 1) return fail("empty, not a line table");
        if (got == 0) break;
        if (got < 0) return fail(reason.text);
        if (number == 1 && line.rfind(header, 0) != 0)
            return fail("not a line table (it starts with \"" + std::string(header) + "\")");
        if (line.empty() || line[0] == '#') continue;
        const std::vector<std::string> f = split_tabs(line);
        if (f[0] == "directory") {
            if (f.size() != 2 || f[1].empty()) return fail("directory record without a directory");
            directory = f[1];
        } else if (f[0] == "line") {
            dbg_asm_line_t r{};
            uint32_t number_in_file = 0, length = 0;
            if (f.size() != 6 || f[1].empty())
                return fail("a line record has 6 fields: line FILE LINE ADDRESS LENGTH KIND");
            if (!parse_decimal(f[2], 0x7FFFFFFF, &number_in_file) || number_in_file == 0)
                return fail("bad line number \"" + f[2] + "\"");
            if (!parse_address(f[3], &r.address)) return fail("bad address \"" + f[3] + "\"");
            if (!parse_decimal(f[4], 65536, &length) || length == 0)
                return fail("bad length \"" + f[4] + "\" (1 to 65536)");
            if (f[5] != "code" && f[5] != "data")
                return fail("bad kind \"" + f[5] + "\" (code or data)");
            const std::filesystem::path file(f[1]);
            r.file = (file.is_absolute() || directory.empty() ? file : directory / file)
                         .lexically_normal()
                         .string();
            r.line = static_cast<int>(number_in_file);
            r.length = length;
            r.is_code = f[5] == "code";
            records->push_back(std::move(r));
        } else if (f[0] == "symbol") {
            dbg_asm_symbol_t s{};
            if (f.size() != 4 || f[1].empty())
                return fail("a symbol record has 4 fields: symbol NAME ADDRESS KIND");
            if (!parse_address(f[2], &s.address)) return fail("bad address \"" + f[2] + "\"");
            if (f[3] != "label" && f[3] != "constant")
                return fail("bad kind \"" + f[3] + "\" (label or constant)");
            s.name = f[1];
            s.is_label = f[3] == "label";
            if (symbols) symbols->push_back(std::move(s));
        }
    }
    emu_reader_close(&reader);
    return true;
}
