// The registers' view model.
#include "debug/front/register_rows.h"

#include "cpu/zregs.h"
#include "debug/core/engine.h"

std::vector<dbg_register_row_t> dbg_register_rows(const z_cpu_t &cpu) {
    static const struct {
        const char *name;
        const char *label;
    } shown[] = {{"af", "AF"},     {"bc", "BC"},     {"de", "DE"},   {"hl", "HL"}, {"af_", "AF'"},
                 {"bc_", "BC'"},   {"de_", "DE'"},   {"hl_", "HL'"}, {"ix", "IX"}, {"iy", "IY"},
                 {"sp", "SP"},     {"pc", "PC"},     {"i", "I"},     {"r", "R"},   {"im", "IM"},
                 {"iff1", "IFF1"}, {"iff2", "IFF2"}, {"fs", "S"},    {"fz", "Z"},  {"fh", "H"},
                 {"fp", "P/V"},    {"fn", "N"},      {"fc", "C"}};
    std::vector<dbg_register_row_t> rows;
    for (const auto &s : shown) {
        const z_register_t *r = z_register_find(s.name);
        const bool flag = r->bits == 1 && s.name[0] == 'f';
        rows.push_back({r->name, s.label, r->bits, flag, r->read(cpu)});
    }
    return rows;
}

std::string dbg_register_text(const dbg_register_row_t &row) {
    if (row.bits == 16) return "$" + dbg_hex4(row.value);
    if (row.bits == 8) return "$" + dbg_hex2(row.value);
    return std::to_string(row.value);
}
