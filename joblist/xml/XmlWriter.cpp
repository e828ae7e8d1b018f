#include "XmlWriter.h"

#include <cerrno>
#include <unistd.h>

namespace {

struct EncodingTable {
    bool special[256] = {};
    constexpr EncodingTable()
    {
        for (int c = 0x80; c < 256; ++c)
            special[c] = true;
        for (unsigned char c : {'"', '&', '\'', '<', '>'})
            special[c] = true;
    }
};
constexpr EncodingTable kEncoding;

} // namespace

void appendEncodedXml(std::string& out, std::string_view text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::size_t runStart = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (!kEncoding.special[c])
            continue;
        out.append(text.data() + runStart, i - runStart);
        runStart = i + 1;
        switch (c) {
        case '"': out.append("&quot;", 6); break;
        case '&': out.append("&amp;", 5); break;
        case '\'': out.append("&apos;", 6); break;
        case '<': out.append("&lt;", 4); break;
        case '>': out.append("&gt;", 4); break;
        default: {
            const char ref[] = {'&', '#', 'x', kHex[c >> 4], kHex[c & 0xF], ';'};
            out.append(ref, sizeof ref);
        }
        }
    }
    out.append(text.data() + runStart, text.size() - runStart);
}

XmlWriter::XmlWriter(std::string& target)
    : m_buffer(target)
{ }

XmlWriter::XmlWriter(int fd)
    : m_buffer(m_ownBuffer)
    , m_fd(fd)
{
    m_ownBuffer.reserve(kFlushSize + 4096);
}

void XmlWriter::putEncoded(std::string_view text)
{
    appendEncodedXml(m_buffer, text);
    if (m_buffer.size() >= kFlushSize)
        flush();
}

void XmlWriter::flush()
{
    if (m_fd < 0)
        return;
    std::size_t done = 0;
    while (done < m_buffer.size() && m_error == 0) {
        const ssize_t n = ::write(m_fd, m_buffer.data() + done, m_buffer.size() - done);
        if (n < 0) {
            if (errno != EINTR)
                m_error = errno;
            continue;
        }
        if (n == 0) {
            m_error = ENOSPC;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    m_buffer.clear();
}

int XmlWriter::finish()
{
    flush();
    return m_error;
}
