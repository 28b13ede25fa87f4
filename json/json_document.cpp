#include "json/json_document.h"

#include <algorithm>

JsonDocument::~JsonDocument()
{
    for (char* block : m_blocks)
        delete[] block;
}

void* JsonDocument::allocateSlow(std::size_t bytes, std::size_t align)
{
    // Blocks grow geometrically up to 4 MB; a request larger than that gets
    // a block of its own so the current block keeps its free room.
    constexpr std::size_t maxBlock = 4 * 1024 * 1024;
    const std::size_t need = bytes + align;
    if (need > m_nextBlock && need > maxBlock / 2) {
        m_blocks.reserve(m_blocks.size() + 1);
        char* block = new char[need];
        m_blocks.push_back(block);
        const auto base = reinterpret_cast<std::uintptr_t>(block);
        return reinterpret_cast<void*>((base + align - 1) & ~(std::uintptr_t(align) - 1));
    }
    const std::size_t size = std::max(m_nextBlock, need);
    m_blocks.reserve(m_blocks.size() + 1);
    char* block = new char[size];
    m_blocks.push_back(block);
    m_cur = block;
    m_end = block + size;
    m_nextBlock = std::min(size * 2, maxBlock);
    return allocateBytes(bytes, align);
}
