// The audio stream's rendering and the sound generator's two ports. The host audio side lives in
// sound_sdl.cpp; everything here is plain computation that tests can drive.
#include "devices/sound.h"

#include "machine/relaxed.h"
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>

void emu_snd_render_buffer(ay_t *psg, int32_t *values, uint32_t count) {
    const uint16_t step = static_cast<uint16_t>(2 * ay_ticks_per_sample(psg));
    for (uint32_t i = 0; i < count; ++i) {
        // The generator keeps its random value as a signed 16-bit number: 15 bits only.
        ay_tick(psg, step, static_cast<uint16_t>(ay_random(psg) & 0x7FFF));
        int32_t sum = 0;
        for (int x = 0; x < 3; ++x) {
            sum += emu_relaxed_load(psg->out_tone[x]);
            sum += emu_relaxed_load(psg->out_noise[x]);
        }
        values[i] = sum > 32767 ? 32767 : sum < -32768 ? -32768 : sum;
    }
}

void snd_write_register(ay_t *psg, uint8_t value) {
    emu_relaxed_store(psg->selected, value & 0x0F);
}

void snd_write_value(ay_t *psg, uint8_t value) {
    const uint8_t selected = emu_relaxed_load(psg->selected);
    if (selected <= 13) // R14 and R15, the chip's I/O ports, do not exist here
        emu_relaxed_store(psg->regs[selected], value);
}

void snd_ring_init(snd_t *snd, ay_t *psg) {
    snd->psg = psg;
    for (uint32_t i = 0; i < SND_BUFFER_COUNT; ++i) {
        snd->headers[i].data = snd->buffers[i];
        snd->headers[i].length = SND_BUFFER_BYTES;
        snd->headers[i].flags = 0;
        snd->headers[i].loops = 0;
        snd->queue[i] = i;
    }
    snd->queue_offset = 0;
    snd->underruns = 0;
    snd->played = 0;
    snd->handed_until_ns = 0;
    snd->muted = 0;
}

void snd_note_request(snd_t *snd, uint64_t now_ns, int length) {
    if (snd->handed_until_ns != 0 && now_ns > snd->handed_until_ns) ++snd->underruns;
    const uint64_t from = now_ns > snd->handed_until_ns ? now_ns : snd->handed_until_ns;
    // Two bytes a sample.
    const uint64_t lasts_ns =
        static_cast<uint64_t>(length > 0 ? length : 0) / 2 * 1000000000ull / SND_SAMPLE_RATE;
    snd->handed_until_ns = from + lasts_ns;
}

uint64_t snd_clock_ns() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

void snd_ring_prime(snd_t *snd) {
    for (uint32_t i = 0; i < SND_BUFFER_COUNT; ++i) {
        emu_snd_render_buffer(snd->psg, snd->buffers[i], SND_BUFFER_VALUES);
        snd->queue[i] = i;
        snd->headers[i].flags = SND_HEADER_QUEUED;
    }
    snd->queue_offset = 0;
}

// Copies bytes [offset, offset + count) of a buffer as the stream carries it: every value as its
// low 16-bit half and then its high half, each a native-order sample. On a little-endian host
// these are simply the value's own bytes.
static void snd_copy_stream_bytes(uint8_t *out, const int32_t *values, uint32_t offset,
                                  uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t at = offset + i;
        const uint32_t value = static_cast<uint32_t>(values[at / 4]);
        const uint16_t half = static_cast<uint16_t>((at & 2) ? value >> 16 : value);
        uint8_t sample[2];
        std::memcpy(sample, &half, sizeof sample);
        out[i] = sample[at & 1];
    }
}

// Hands out the queued buffers oldest first. A buffer handed out whole is rendered again from
// the generator and queued behind the others, so four stay queued at all times.
void snd_ring_fill(snd_t *snd, uint8_t *stream, int length) {
    if (emu_relaxed_load(snd->muted)) {
        std::memset(stream, 0, static_cast<size_t>(length));
        return;
    }
    int done = 0;
    while (done < length) {
        const uint32_t index = snd->queue[0];
        snd_header_t &header = snd->headers[index];
        if (!(header.flags & SND_HEADER_QUEUED)) {
            // Nothing rendered to play (the ring was never primed): silence.
            std::memset(stream + done, 0, static_cast<size_t>(length - done));
            return;
        }
        const uint32_t chunk = std::min<uint32_t>(header.length - snd->queue_offset,
                                                  static_cast<uint32_t>(length - done));
        snd_copy_stream_bytes(stream + done, header.data, snd->queue_offset, chunk);
        done += static_cast<int>(chunk);
        snd->queue_offset += chunk;
        if (snd->queue_offset == header.length) {
            emu_snd_render_buffer(snd->psg, header.data, SND_BUFFER_VALUES);
            for (uint32_t i = 0; i + 1 < SND_BUFFER_COUNT; ++i)
                snd->queue[i] = snd->queue[i + 1];
            snd->queue[SND_BUFFER_COUNT - 1] = index;
            snd->queue_offset = 0;
            ++snd->played;
        }
    }
}

void snd_set_muted(snd_t *snd, bool muted) {
    emu_relaxed_store(snd->muted, muted ? 1 : 0);
}
