// AY-3-8913 sound generator. The processor thread writes the registers, the audio callback ticks
// the counters and a machine reset clears everything from the window thread, all without a
// common lock, so every field is accessed as a relaxed atomic (plain loads and stores on x86).
#include "devices/ay8913.h"

#include "machine/relaxed.h"
#include <atomic>

const int16_t ay_volume_table[32] = {
    0,    0,     88,    -88,    211,   -211,   382,   -382,   621,   -621,   955,
    -955, 1420,  -1420, 2070,   -2070, 2977,   -2977, 4242,   -4242, 6009,   -6009,
    8474, -8474, 11914, -11914, 16715, -16715, 23416, -23416, 32767, -32767,
};

template <class T> static inline T ay_load(const T &field) {
    return emu_relaxed_load(field);
}
template <class T> static inline void ay_store(T &field, T value) {
    emu_relaxed_store(field, value);
}

void ay_reset(ay_t *ay) {
    for (uint8_t &r : ay->regs)
        ay_store(r, uint8_t{0});
    ay_store(ay->selected, uint8_t{0});
    for (uint16_t &c : ay->counter)
        ay_store(c, uint16_t{0});
    for (uint8_t &p : ay->phase)
        ay_store(p, uint8_t{0});
    ay_store(ay->noise, int16_t{0});
    for (int i = 0; i < 3; ++i) {
        ay_store(ay->out_tone[i], int16_t{0});
        ay_store(ay->out_noise[i], int16_t{0});
    }
}

void ay_init(ay_t *ay, uint32_t clock_hz, uint32_t sample_rate_hz) {
    ay->clock_hz = clock_hz;
    ay->sample_rate_hz = sample_rate_hz;
    ay_reset(ay);
    ay_random_seed(ay, 1);
}

// The words come from the seed through the minimal standard generator (16807 x mod 2^31 - 1),
// then 310 values are drawn and dropped so that the seed no longer shows.
void ay_random_seed(ay_t *ay, uint32_t seed) {
    int32_t word = seed == 0 ? 1 : static_cast<int32_t>(seed);
    ay_store(ay->random_words[0], word);
    for (int i = 1; i < 31; ++i) {
        const int32_t hi = word / 127773;
        const int32_t lo = word % 127773;
        word = 16807 * lo - 2836 * hi;
        if (word < 0) word += 2147483647;
        ay_store(ay->random_words[i], word);
    }
    ay_store(ay->random_front, uint8_t{3});
    ay_store(ay->random_rear, uint8_t{0});
    for (int i = 0; i < 310; ++i)
        ay_random(ay);
}

int32_t ay_random(ay_t *ay) {
    uint8_t front = ay_load(ay->random_front);
    uint8_t rear = ay_load(ay->random_rear);
    const uint32_t value = static_cast<uint32_t>(ay_load(ay->random_words[front])) +
                           static_cast<uint32_t>(ay_load(ay->random_words[rear]));
    ay_store(ay->random_words[front], static_cast<int32_t>(value));
    front = static_cast<uint8_t>(front + 1 == 31 ? 0 : front + 1);
    rear = static_cast<uint8_t>(rear + 1 == 31 ? 0 : rear + 1);
    ay_store(ay->random_front, front);
    ay_store(ay->random_rear, rear);
    return static_cast<int32_t>(value >> 1);
}

uint32_t ay_ticks_per_sample(const ay_t *ay) {
    return (ay->clock_hz / ay->sample_rate_hz) >> 3;
}

void ay_tick(ay_t *ay, uint16_t step, uint16_t random_value) {
    for (uint16_t &c : ay->counter)
        ay_store(c, static_cast<uint16_t>(ay_load(c) + step));

    // Tone: the counter restarts at 0 rather than keeping the overshoot, so a half period is
    // rounded up to whole ticks; a period up to the step toggles on every tick.
    for (int x = 0; x < 3; ++x) {
        const uint16_t period = static_cast<uint16_t>(ay_load(ay->regs[2 * x]) +
                                                      256 * (ay_load(ay->regs[2 * x + 1]) & 0x0F));
        if (ay_load(ay->counter[x]) >= period) {
            ay_store(ay->phase[x], static_cast<uint8_t>(ay_load(ay->phase[x]) ^ 1));
            ay_store(ay->counter[x], uint16_t{0});
        }
    }
    // Noise: a fresh random value per noise period instead of a shift register.
    if (ay_load(ay->counter[3]) >= (ay_load(ay->regs[6]) & 0x1F)) {
        ay_store(ay->noise, static_cast<int16_t>(random_value));
        ay_store(ay->counter[3], uint16_t{0});
    }

    const uint8_t mixer = ay_load(ay->regs[7]);
    const int16_t noise = ay_load(ay->noise);
    for (int x = 0; x < 3; ++x) {
        const int level = ay_load(ay->regs[8 + x]) & 0x0F; // the envelope bit is ignored
        const int16_t tone =
            (mixer & (1u << x)) ? int16_t{0} : ay_volume_table[2 * level + ay_load(ay->phase[x])];
        ay_store(ay->out_tone[x], tone);
        int16_t noise_out = 0;
        if (!(mixer & (1u << (3 + x))) && level != 0)
            noise_out = static_cast<int16_t>(noise % ay_volume_table[2 * level]);
        ay_store(ay->out_noise[x], noise_out);
    }
}

void ay_state_write(const ay_t *ay, emu_byte_writer_t *w) {
    for (const uint8_t &r : ay->regs)
        emu_put_u8(w, ay_load(r));
    emu_put_u8(w, ay_load(ay->selected));
    for (const uint16_t &c : ay->counter)
        emu_put_u16(w, ay_load(c));
    for (const uint8_t &p : ay->phase)
        emu_put_u8(w, ay_load(p));
    emu_put_u16(w, static_cast<uint16_t>(ay_load(ay->noise)));
    for (const int16_t &out : ay->out_tone)
        emu_put_u16(w, static_cast<uint16_t>(ay_load(out)));
    for (const int16_t &out : ay->out_noise)
        emu_put_u16(w, static_cast<uint16_t>(ay_load(out)));
    for (const int32_t &word : ay->random_words)
        emu_put_u32(w, static_cast<uint32_t>(ay_load(word)));
    emu_put_u8(w, ay_load(ay->random_front));
    emu_put_u8(w, ay_load(ay->random_rear));
}

bool ay_state_read(ay_t *ay, emu_byte_reader_t *r) {
    ay_t next{};
    for (uint8_t &v : next.regs)
        v = emu_get_u8(r);
    next.selected = emu_get_u8(r);
    for (uint16_t &v : next.counter)
        v = emu_get_u16(r);
    bool phases = true;
    for (uint8_t &v : next.phase) {
        v = emu_get_u8(r);
        phases = phases && v <= 1;
    }
    next.noise = static_cast<int16_t>(emu_get_u16(r));
    for (int16_t &v : next.out_tone)
        v = static_cast<int16_t>(emu_get_u16(r));
    for (int16_t &v : next.out_noise)
        v = static_cast<int16_t>(emu_get_u16(r));
    for (int32_t &v : next.random_words)
        v = static_cast<int32_t>(emu_get_u32(r));
    next.random_front = emu_get_u8(r);
    next.random_rear = emu_get_u8(r);
    // ay_random moves both positions together, three words apart.
    if (r->overrun || next.selected > 15 || !phases || next.random_front >= 31 ||
        next.random_rear >= 31 || (next.random_front + 31 - next.random_rear) % 31 != 3)
        return false;
    ay_state_copy(ay, &next);
    return true;
}

void ay_state_copy(ay_t *to, const ay_t *from) {
    for (int i = 0; i < 14; ++i)
        ay_store(to->regs[i], ay_load(from->regs[i]));
    ay_store(to->selected, ay_load(from->selected));
    for (int i = 0; i < 4; ++i)
        ay_store(to->counter[i], ay_load(from->counter[i]));
    for (int x = 0; x < 3; ++x) {
        ay_store(to->phase[x], ay_load(from->phase[x]));
        ay_store(to->out_tone[x], ay_load(from->out_tone[x]));
        ay_store(to->out_noise[x], ay_load(from->out_noise[x]));
    }
    ay_store(to->noise, ay_load(from->noise));
    for (int i = 0; i < 31; ++i)
        ay_store(to->random_words[i], ay_load(from->random_words[i]));
    ay_store(to->random_front, ay_load(from->random_front));
    ay_store(to->random_rear, ay_load(from->random_rear));
}
