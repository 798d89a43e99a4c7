// Numbers in little-endian order, field by field, never as a copy of a record in memory: how a
// save state and each device's part of it are written and read, so that a file reads the same on
// every host and build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct emu_byte_writer_t {
    std::vector<uint8_t> bytes; // appended to
};

// Reads fields from [at, end). Reading past the end gives zeros and sets `overrun` instead, so a
// section can be read whole and checked once.
struct emu_byte_reader_t {
    const uint8_t *at;
    const uint8_t *end;
    bool overrun = false;
};

static inline void emu_put_u8(emu_byte_writer_t *w, uint8_t v) {
    w->bytes.push_back(v);
}
static inline void emu_put_u16(emu_byte_writer_t *w, uint16_t v) {
    emu_put_u8(w, static_cast<uint8_t>(v));
    emu_put_u8(w, static_cast<uint8_t>(v >> 8));
}
static inline void emu_put_u32(emu_byte_writer_t *w, uint32_t v) {
    emu_put_u16(w, static_cast<uint16_t>(v));
    emu_put_u16(w, static_cast<uint16_t>(v >> 16));
}
static inline void emu_put_u64(emu_byte_writer_t *w, uint64_t v) {
    emu_put_u32(w, static_cast<uint32_t>(v));
    emu_put_u32(w, static_cast<uint32_t>(v >> 32));
}
static inline void emu_put_bytes(emu_byte_writer_t *w, const uint8_t *bytes, size_t size) {
    w->bytes.insert(w->bytes.end(), bytes, bytes + size);
}

static inline size_t emu_bytes_left(const emu_byte_reader_t *r) {
    return static_cast<size_t>(r->end - r->at);
}
// The next size bytes, or null (and `overrun` set) when fewer are left.
static inline const uint8_t *emu_get_bytes(emu_byte_reader_t *r, size_t size) {
    if (emu_bytes_left(r) < size) {
        r->overrun = true;
        r->at = r->end;
        return nullptr;
    }
    const uint8_t *at = r->at;
    r->at += size;
    return at;
}
static inline uint8_t emu_get_u8(emu_byte_reader_t *r) {
    const uint8_t *at = emu_get_bytes(r, 1);
    return at ? *at : 0;
}
static inline uint16_t emu_get_u16(emu_byte_reader_t *r) {
    const uint16_t lo = emu_get_u8(r);
    return static_cast<uint16_t>(lo | emu_get_u8(r) << 8);
}
static inline uint32_t emu_get_u32(emu_byte_reader_t *r) {
    const uint32_t lo = emu_get_u16(r);
    return lo | static_cast<uint32_t>(emu_get_u16(r)) << 16;
}
static inline uint64_t emu_get_u64(emu_byte_reader_t *r) {
    const uint64_t lo = emu_get_u32(r);
    return lo | static_cast<uint64_t>(emu_get_u32(r)) << 32;
}
