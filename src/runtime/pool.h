// A block pool: bump allocation out of fixed-size blocks that live as long as the pool.
// Requests larger than a block get a block of their own.
#pragma once

#include <new>

#include "types.h"

struct Pool_Block;

struct Pool {
    s64 block_size = 4000;
    Pool_Block *blocks = nullptr;  // newest first; allocation happens in the newest
    s64 blocks_allocated = 0;
};

// Zeroed, 8-byte aligned.
void *pool_get(Pool *pool, s64 size);
void pool_release(Pool *pool);

template <typename T>
T *pool_new(Pool *pool) {
    return new (pool_get(pool, sizeof(T))) T();
}
