#pragma once

#include <string>
#include <string_view>

// Buffered byte sink for the document writer: either a string in memory or an
// open file descriptor. Write errors are kept and reported by finish().
class XmlWriter final {
public:
    explicit XmlWriter(std::string& target);
    explicit XmlWriter(int fd);
    ~XmlWriter() = default;
    XmlWriter(const XmlWriter&) = delete;
    XmlWriter& operator=(const XmlWriter&) = delete;

    void put(std::string_view bytes)
    {
        m_buffer.append(bytes);
        if (m_buffer.size() >= kFlushSize)
            flush();
    }
    void put(char byte) { m_buffer.push_back(byte); }
    void lineEnd() { put(std::string_view("\r\n", 2)); }
    // The writer's value encoding: the five entities and "&#xNN;" for bytes above 0x7F.
    void putEncoded(std::string_view text);

    // Flushes what is buffered; returns 0 or the errno of the first failed write.
    int finish();

private:
    static constexpr std::size_t kFlushSize = 1 << 16;
    void flush();

    std::string m_ownBuffer;
    std::string& m_buffer;
    int m_fd = -1;
    int m_error = 0;
};

// Appends the encoded form of text to out.
void appendEncodedXml(std::string& out, std::string_view text);
