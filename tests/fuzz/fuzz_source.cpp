// Feeds arbitrary bytes to the source model as a .cdb file, then as an expression evaluated
// against it: the reader skips what it cannot read and the evaluator answers with a reason, and
// neither may crash, hang or read outside memory.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "debug/info/source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const std::string path = "/tmp/fuzz_source." + std::to_string(getpid()) + ".cdb";
    FILE *out = std::fopen(path.c_str(), "wb");
    if (!out) return 0;
    std::fwrite(data, 1, size, out);
    std::fclose(out);

    dbg_source_t model;
    dbg_source_init(&model);
    std::string error;
    dbg_source_load_cdb(&model, path, &error);
    std::remove(path.c_str());
    std::vector<uint8_t> memory(65536, 0xDD);
    z_cpu_t cpu{};
    cpu.PC = 0x8000;
    cpu.SP = 0xFF00;
    for (uint32_t address = 0; address < 0x10000; address += 0x1001) {
        dbg_source_line_at(&model, static_cast<uint16_t>(address));
        dbg_source_describe(&model, static_cast<uint16_t>(address));
    }
    dbg_source_scan_code(&model, memory.data());
    const auto frames = dbg_source_frames(&model, memory.data(), cpu, nullptr);
    const dbg_eval_context_t context{memory.data(), &cpu, nullptr,
                                     frames.empty() ? nullptr : &frames[0], 0x12};
    dbg_source_locals(&model, context);
    // The same bytes, up to the first line break, as an expression.
    std::string text(reinterpret_cast<const char *>(data), size);
    text = text.substr(0, text.find('\n'));
    dbg_value_t value;
    dbg_source_print(&model, text, context, &value, &error);
    uint16_t address = 0;
    std::vector<uint8_t> bytes;
    dbg_source_assign(&model, text, "1", context, &address, &bytes, &error);
    return 0;
}
