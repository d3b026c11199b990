// The text of one line while it is formatted: on the stack up to a size that
// every line of the library fits in, on the heap beyond it. Formatting a line
// then allocates nothing.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

namespace svcp::log {

class CTextBuffer {
public:
    CTextBuffer() = default;
    CTextBuffer(const CTextBuffer&) = delete;
    CTextBuffer& operator=(const CTextBuffer&) = delete;

    const char* data() const { return m_pText; }
    size_t size() const { return m_nSize; }

    // The appends throw std::bad_alloc when the text outgrows the stack and
    // the heap has no room for it.
    void append(const char* text, size_t length) {
        Reserve(length);
        std::memcpy(m_pText + m_nSize, text, length);
        m_nSize += length;
    }
    void append(size_t count, char c) {
        if (count == 0) {
            return;
        }
        Reserve(count);
        std::memset(m_pText + m_nSize, c, count);
        m_nSize += count;
    }
    void push_back(char c) {
        if (m_nSize == m_nCapacity) {
            Grow(1);
        }
        m_pText[m_nSize++] = c;
    }
    // Room for `count` more characters, to be written through End().
    void Reserve(size_t count) {
        if (m_nCapacity - m_nSize < count) {
            Grow(count);
        }
    }
    char* End() { return m_pText + m_nSize; }
    void Advance(size_t count) { m_nSize += count; }

private:
    static constexpr size_t kInline = 1024;

    void Grow(size_t count) {
        if (count > static_cast<size_t>(-1) / 2 - m_nSize) {
            throw std::bad_alloc();
        }
        size_t capacity = 2 * m_nCapacity;
        if (capacity < m_nSize + count) {
            capacity = m_nSize + count;
        }
        std::unique_ptr<char[]> grown(new char[capacity]);
        std::memcpy(grown.get(), m_pText, m_nSize);
        m_pHeap = std::move(grown);
        m_pText = m_pHeap.get();
        m_nCapacity = capacity;
    }

    char m_aInline[kInline];
    std::unique_ptr<char[]> m_pHeap;
    char* m_pText = m_aInline;
    size_t m_nSize = 0;
    size_t m_nCapacity = kInline;
};

}  // namespace svcp::log
