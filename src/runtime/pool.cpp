// Block pool.
#include "pool.h"

#include <cstdlib>

#include "assertions.h"

struct Pool_Block {
    Pool_Block *next;
    s64 size;
    s64 occupied;
};

static constexpr s64 HEADER_SIZE = (sizeof(Pool_Block) + 15) & ~15;

void *pool_get(Pool *pool, s64 size) {
    size = (size + 7) & ~7;
    Pool_Block *block = pool->blocks;
    if (!block || block->occupied + size > block->size) {
        s64 block_size = size > pool->block_size ? size : pool->block_size;
        block = (Pool_Block *)calloc(1, (size_t)(HEADER_SIZE + block_size));
        assert_fatal(block != nullptr, "Out of memory: pool block of % bytes.", block_size);
        block->size = block_size;
        // An oversized block is full at once; keep filling the current one afterwards.
        if (size > pool->block_size && pool->blocks) {
            block->next = pool->blocks->next;
            pool->blocks->next = block;
        } else {
            block->next = pool->blocks;
            pool->blocks = block;
        }
        pool->blocks_allocated++;
    }
    void *result = (u8 *)block + HEADER_SIZE + block->occupied;
    block->occupied += size;
    return result;
}

void pool_release(Pool *pool) {
    for (Pool_Block *block = pool->blocks; block;) {
        Pool_Block *next = block->next;
        free(block);
        block = next;
    }
    pool->blocks = nullptr;
    pool->blocks_allocated = 0;
}
