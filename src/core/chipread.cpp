#include "chipread.h"

#include "requests.h"

#include <algorithm>

QByteArray ChipReadCheck::fillRequest() const
{
    return ::fillRequest(m_fill);
}

ChipReadCheck::Verdict ChipReadCheck::judge(const QByteArray &block)
{
    const char fill = static_cast<char>(m_fill);
    if (!std::all_of(block.cbegin(), block.cend(), [fill](char b) { return b == fill; }))
        return Verdict::Read;
    if (m_second)
        return Verdict::NotRead;
    m_second = true;
    m_fill = static_cast<quint8>(~m_fill);
    return Verdict::Again;
}
