#include "files/save_block.h"

#include <cstddef>
#include <cstring>

#include "files/ihex.h"

namespace {

// The memory the block must end within.
constexpr uint32_t emu_address_space = 65536;

constexpr const char *emu_save_block_messages[] = {
    nullptr,
    "Start address should be a valid hexadecimal number.",
    "Length should be a valid hexadecimal number.",
    "Memory block should be at least one byte and not exceed 64K address space.",
};

} // namespace

int emu_validate_save_block(const char *start_text, const char *length_text, uint32_t *block) {
    const size_t start_size = start_text ? std::strlen(start_text) : 0;
    const size_t length_size = length_text ? std::strlen(length_text) : 0;
    // A text longer than its field allows is refused rather than cut short: cutting "12345" to
    // its first four digits would save a different block than the one asked for.
    uint16_t start = 0;
    if (start_size > size_t{EMU_SAVE_START_DIGITS} ||
        !ihex_hex_to_word(start_size ? start_text : "", start_size, &start))
        return EMU_SAVE_BLOCK_BAD_START;
    if (length_size > size_t{EMU_SAVE_LENGTH_DIGITS}) return EMU_SAVE_BLOCK_BAD_LENGTH;
    uint32_t length = 0;
    for (size_t i = 0; i < length_size; ++i) {
        const int digit = ihex_hex_nibble_to_byte(length_text[i]);
        if (digit < 0) return EMU_SAVE_BLOCK_BAD_LENGTH;
        length = length * 16 + static_cast<uint32_t>(digit);
    }
    if (length < 1 || start + length > emu_address_space) return EMU_SAVE_BLOCK_BAD_RANGE;
    if (block) *block = static_cast<uint32_t>(start) * 65536u + length % 65536u;
    return EMU_SAVE_BLOCK_OK;
}

const char *emu_save_block_message(int status) {
    if (status < EMU_SAVE_BLOCK_BAD_START || status > EMU_SAVE_BLOCK_BAD_RANGE) return nullptr;
    return emu_save_block_messages[status];
}

void emu_decode_save_block(uint32_t block, uint16_t *start, uint32_t *length) {
    *start = static_cast<uint16_t>(block >> 16);
    const uint32_t carried = block & 0xFFFFu;
    *length = carried == 0 ? 65536u : carried;
}
