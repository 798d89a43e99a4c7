// The save dialog's start and length fields: their check and its messages, shared by the window
// and the page.
#pragma once

#include <cstdint>

// The most digits each field takes.
enum : int { EMU_SAVE_START_DIGITS = 4, EMU_SAVE_LENGTH_DIGITS = 5 };

enum emu_save_block_status : int {
    EMU_SAVE_BLOCK_OK = 0,
    EMU_SAVE_BLOCK_BAD_START = 1,
    EMU_SAVE_BLOCK_BAD_LENGTH = 2,
    EMU_SAVE_BLOCK_BAD_RANGE = 3,
};

// Checks the save dialog's two fields, both hexadecimal (either case, empty means 0): a start
// address of at most 4 digits, a length of at most 5 digits, and a block of at least one byte that
// ends within the 64 KB address space. The checks run in that order and the first failure is the
// result. On success *block receives start * 65536 + (length mod 65536).
int emu_validate_save_block(const char *start_text, const char *length_text, uint32_t *block);
// The message shown for a failed check (null for EMU_SAVE_BLOCK_OK).
const char *emu_save_block_message(int status);
// Splits an accepted block; a carried length of 0 stands for 65536.
void emu_decode_save_block(uint32_t block, uint16_t *start, uint32_t *length);
