// The processor's registers to and from the bytes of a save state.
#include "cpu/zstate.h"

namespace {

// The longest instruction (the indexed bit operations' 23 T-states) leaves at most this many.
constexpr uint8_t max_cycles = 23;

// The twelve pairs in the order they are saved.
uint16_t z_cpu_t::*const pairs[12] = {&z_cpu_t::AF,  &z_cpu_t::BC,  &z_cpu_t::DE,  &z_cpu_t::HL,
                                      &z_cpu_t::AF_, &z_cpu_t::BC_, &z_cpu_t::DE_, &z_cpu_t::HL_,
                                      &z_cpu_t::IX,  &z_cpu_t::IY,  &z_cpu_t::SP,  &z_cpu_t::PC};

} // namespace

void z_state_write(const z_cpu_t *cpu, uint8_t out[Z_STATE_SIZE]) {
    for (int i = 0; i < 12; ++i) {
        const uint16_t v = cpu->*pairs[i];
        out[2 * i] = static_cast<uint8_t>(v);
        out[2 * i + 1] = static_cast<uint8_t>(v >> 8);
    }
    out[24] = cpu->I;
    out[25] = cpu->R;
    out[26] = cpu->cycles;
    out[27] = cpu->im;
    out[28] = cpu->iff1;
    out[29] = cpu->iff2;
}

bool z_state_read(z_cpu_t *cpu, const uint8_t in[Z_STATE_SIZE]) {
    if (in[26] > max_cycles || in[27] > 2 || in[28] > 1 || in[29] > 1) return false;
    for (int i = 0; i < 12; ++i)
        cpu->*pairs[i] = static_cast<uint16_t>(in[2 * i] | in[2 * i + 1] << 8);
    cpu->I = in[24];
    cpu->R = in[25];
    cpu->cycles = in[26];
    cpu->im = in[27] & 3;
    cpu->iff1 = in[28] & 1;
    cpu->iff2 = in[29] & 1;
    return true;
}

void z_state_copy(z_cpu_t *to, const z_cpu_t *from) {
    uint8_t block[Z_STATE_SIZE];
    z_state_write(from, block);
    z_state_read(to, block);
}
