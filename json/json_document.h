#pragma once

#include <QSharedData>

#include <cstddef>
#include <cstdint>
#include <vector>

// The memory of one parsed tree. Every value, string and member list of the
// tree is carved out of a few large blocks, so parsing costs a handful of
// allocations instead of one per value. The document is reference-counted:
// each value handle holds it, so a value stays valid as long as anyone
// holds a handle to it or to any other value of the same tree.
class JsonDocument : public QSharedData
{
public:
    JsonDocument() = default;
    ~JsonDocument();
    JsonDocument(const JsonDocument&) = delete;
    JsonDocument& operator=(const JsonDocument&) = delete;

    // Uninitialised room for `count` objects of a trivially copyable type.
    template <typename T> T* allocate(std::size_t count)
    {
        return static_cast<T*>(allocateBytes(count * sizeof(T), alignof(T)));
    }

private:
    void* allocateBytes(std::size_t bytes, std::size_t align)
    {
        const auto cur = reinterpret_cast<std::uintptr_t>(m_cur);
        const std::uintptr_t aligned = (cur + align - 1) & ~(std::uintptr_t(align) - 1);
        if (m_cur && aligned + bytes <= reinterpret_cast<std::uintptr_t>(m_end)) {
            m_cur = reinterpret_cast<char*>(aligned + bytes);
            return reinterpret_cast<void*>(aligned);
        }
        return allocateSlow(bytes, align);
    }
    void* allocateSlow(std::size_t bytes, std::size_t align);

    std::vector<char*> m_blocks;
    char* m_cur = nullptr;
    char* m_end = nullptr;
    std::size_t m_nextBlock = 16 * 1024;
};
