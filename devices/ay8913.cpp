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
