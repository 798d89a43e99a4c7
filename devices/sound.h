// The audio stream: the sound generator rendered into four circulating buffers of 256 signed
// 32-bit values (1024 bytes), played as 16-bit mono at 44100 Hz. Each 32-bit value is played as its
// low and then its high 16-bit half, so the generator is heard at half the host rate.
#pragma once

#include <cstdint>

#include "devices/ay8913.h"

enum : uint32_t {
    SND_BUFFER_COUNT = 4,
    SND_BUFFER_VALUES = 256,
    SND_BUFFER_BYTES = SND_BUFFER_VALUES * 4,
    SND_SAMPLE_RATE = 44100,
};

// Describes one buffer of the ring.
struct snd_header_t {
    int32_t *data;
    uint32_t length; // bytes
    uint32_t flags;
    uint32_t loops;
};

struct snd_t {
    uint32_t device; // host audio device, 0 while closed
    snd_header_t headers[SND_BUFFER_COUNT];
    int32_t buffers[SND_BUFFER_COUNT][SND_BUFFER_VALUES];
    ay_t *psg;
    uint32_t queue[SND_BUFFER_COUNT]; // buffer indexes, oldest first
    uint32_t queue_offset;            // bytes of the oldest buffer already handed out
    uint32_t underruns;               // requests that came after the audio before them ran out
    uint32_t played;                  // buffers handed out whole
    uint64_t handed_until_ns;         // when the audio handed out so far runs out, 0 before any
    int32_t muted; // nonzero: the stream plays silence and the ring and generator stand still
};

enum : uint32_t { SND_HEADER_QUEUED = 1 };

// Renders count values from the generator: one ay_tick each, the six outputs summed and clamped.
void emu_snd_render_buffer(ay_t *psg, int32_t *values, uint32_t count);
// The register-select port (13) and the data port (12).
void snd_write_register(ay_t *psg, uint8_t value);
void snd_write_value(ay_t *psg, uint8_t value);

// The ring of four buffers, independent of the host: set up the headers, render all four, and
// copy the oldest queued bytes into a host request (re-rendering each buffer played whole).
void snd_ring_init(snd_t *snd, ay_t *psg);
void snd_ring_prime(snd_t *snd);
void snd_ring_fill(snd_t *snd, uint8_t *stream, int length);
// Silences the stream (a paused or warping machine) without touching the generator or the ring,
// so the sound goes on where it stopped once unmuted. Any thread.
void snd_set_muted(snd_t *snd, bool muted);

// Notes a request for length bytes at now_ns on a steady clock. A request that comes later than
// the audio handed to the device before it lasts is a gap the listener hears: it is counted in
// underruns. The audio handed out then lasts from now_ns (or from where the earlier audio ends,
// when that is later) for length bytes.
void snd_note_request(snd_t *snd, uint64_t now_ns, int length);
// The steady clock that requests are timed on, in nanoseconds.
uint64_t snd_clock_ns();

// The host's audio output (host/sound_sdl.h) opens a stream that pulls from the ring.
