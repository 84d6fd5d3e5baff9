// The block that every process of the user shares while it runs the product: the kept password's
// hand-over (the 48-byte password block the core library reads and fills) and the busy flag that
// grays the product's menus while a command runs in any process.
//
// Linux: the hand-over lives in the user's kernel keyring as a "user" key, so that it never
// reaches a file or swap, with the key's kernel timeout set to the keep period as a backstop; the
// busy flag in POSIX shared memory "/qor-shared-<uid>" (mode 0600). Where keyrings are not
// available, both live in that shared memory, locked in memory. Windows: a data section of the
// shell library shared between the processes that load it.
//
// The block is the user's alone: no other user can read or change it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qor::platform {

inline constexpr size_t kSharedHandOverSize = 48;

// Copies the shared hand-over into `out`; 48 zero bytes when none is kept. False (and zeros) when
// the block cannot be reached.
bool ReadSharedHandOver(uint8_t out[kSharedHandOverSize]);
// Stores `block` as the shared hand-over. `keepSeconds` (0: none) bounds how long the system keeps
// it even if no program of the product clears it. A block whose first four bytes (the valid
// field) are zero is stored as no block at all.
bool WriteSharedHandOver(const uint8_t block[kSharedHandOverSize], uint32_t keepSeconds);
// Forgets the shared hand-over.
bool ClearSharedHandOver();

int32_t SharedBusyFlag();
void SetSharedBusyFlag(int32_t value);

}  // namespace qor::platform
