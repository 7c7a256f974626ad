#pragma once

#include <QByteArray>
#include <QString>

// What the user is shown of the bytes the programmer sent: UTF-8 where they are valid
// UTF-8, and every other byte as its Latin-1 character, one each, so that a firmware that
// speaks Latin-1, or sends binary, still shows every byte it sent.
namespace ReceivedText
{

// The text of bytes. With held non-null, the first bytes of a character that the end of
// bytes cuts short are not decoded but kept in *held (at most three), to go before the
// bytes that come next; with held null they are shown byte by byte.
QString decode(const QByteArray &bytes, QByteArray *held = nullptr);

} // namespace ReceivedText
