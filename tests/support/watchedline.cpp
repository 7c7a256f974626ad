#include "watchedline.h"

WatchedLine::WatchedLine(const PortMap &ports) : m_line(ports)
{
    connect(&m_line, &Transport::received, this, &Transport::received);
    connect(&m_line, &Transport::drained, this, &Transport::drained);
    connect(&m_line, &Transport::removed, this, &Transport::removed);
}

bool WatchedLine::open(int port)
{
    const bool opened = m_line.open(port);
    if (opened)
        m_batched = false; // a port opens unbatched
    return opened;
}

bool WatchedLine::write(const QByteArray &bytes)
{
    const bool written = m_line.write(bytes);
    if (written) {
        m_handedOver += bytes.size();
        emit wrote(bytes);
    }
    return written;
}

void WatchedLine::setBatched(bool batched)
{
    m_batched = batched;
    m_line.setBatched(batched);
}
