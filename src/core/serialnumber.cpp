#include "serialnumber.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <fcntl.h>
#include <unistd.h>

namespace
{

// First, step and every number handed out stay below this, so that a number plus a step never
// wraps around; the widest formats (ascii:18, hex:15) stay below it too.
constexpr quint64 Limit = quint64(1) << 62;

quint64 power(quint64 base, int exponent)
{
    quint64 result = 1;
    while (exponent-- > 0)
        result *= base;
    return result;
}

std::optional<quint64> number(const QString &text, int base)
{
    bool ok = false;
    const quint64 value = text.toULongLong(&ok, base);
    if (!ok || value >= Limit || text.startsWith(QLatin1Char('+')) || text.trimmed() != text)
        return std::nullopt;
    return value;
}

// The number's digits in base, most significant first, each as digit(value).
template <typename Digit> QByteArray digits(quint64 number, int count, quint64 base, Digit digit)
{
    QByteArray out(count, '\0');
    for (int i = count - 1; i >= 0; --i, number /= base)
        out[i] = digit(static_cast<int>(number % base));
    return out;
}

} // namespace

std::optional<SerialFormat> SerialFormat::parse(const QString &name)
{
    static const QString binary[] = {QStringLiteral("be16"), QStringLiteral("be32"),
                                     QStringLiteral("le16"), QStringLiteral("le32")};
    for (int i = 0; i < 4; ++i) {
        if (name == binary[i])
            return SerialFormat(Kind::Binary, i % 2 == 0 ? 2 : 4, i >= 2);
    }
    if (name == QLatin1String("bcd4") || name == QLatin1String("bcd8"))
        return SerialFormat(Kind::Bcd, name.endsWith(QLatin1Char('4')) ? 2 : 4);
    const QString kind = name.section(QLatin1Char(':'), 0, 0);
    const QString count = name.section(QLatin1Char(':'), 1);
    const int most = kind == QLatin1String("ascii") ? 18 : kind == QLatin1String("hex") ? 15 : 0;
    const std::optional<quint64> n = number(count, 10);
    if (most == 0 || !n || *n < 1 || *n > quint64(most) || count.startsWith(QLatin1Char('0')))
        return std::nullopt;
    return SerialFormat(most == 18 ? Kind::Decimal : Kind::Hexadecimal, static_cast<int>(*n));
}

int SerialFormat::width() const
{
    return m_width;
}

quint64 SerialFormat::largest() const
{
    switch (m_kind) {
    case Kind::Binary:
        return power(256, m_width) - 1;
    case Kind::Bcd:
        return power(10, 2 * m_width) - 1;
    case Kind::Decimal:
        return power(10, m_width) - 1;
    case Kind::Hexadecimal:
        return power(16, m_width) - 1;
    }
    return 0;
}

QByteArray SerialFormat::bytes(quint64 number) const
{
    switch (m_kind) {
    case Kind::Binary: {
        QByteArray out = digits(number, m_width, 256, [](int d) { return char(d); });
        if (m_littleEndian)
            std::reverse(out.begin(), out.end());
        return out;
    }
    case Kind::Bcd: {
        const QByteArray nibbles = digits(number, 2 * m_width, 10, [](int d) { return char(d); });
        QByteArray out(m_width, '\0');
        for (int i = 0; i < m_width; ++i)
            out[i] = char(nibbles.at(2 * i) << 4 | nibbles.at(2 * i + 1));
        return out;
    }
    case Kind::Decimal:
        return digits(number, m_width, 10, [](int d) { return char('0' + d); });
    case Kind::Hexadecimal:
        return digits(number, m_width, 16, [](int d) { return "0123456789ABCDEF"[d]; });
    }
    return {};
}

std::optional<SerialField> SerialField::parse(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() < 2 || parts.size() > 3)
        return std::nullopt;
    QString address = parts.at(0);
    if (address.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        address = address.mid(2);
    const std::optional<quint64> at = address.size() <= 4 ? number(address, 16) : std::nullopt;
    const std::optional<quint64> first = number(parts.at(1), 10);
    const std::optional<quint64> step =
        parts.size() == 3 ? number(parts.at(2), 10) : std::optional<quint64>(1);
    if (!at || !first || !step || *step == 0)
        return std::nullopt;
    return SerialField{static_cast<int>(*at), *first, *step};
}

SerialPlace SerialPlace::check(const QByteArray &image, int chipSize, int address, int width,
                               bool blankOnly)
{
    if (address + width > chipSize)
        return {OutsideChip};
    const int end = std::min(address + width, static_cast<int>(image.size()));
    for (int at = address; blankOnly && at < end; ++at) {
        if (quint8(image.at(at)) != 0xFF)
            return {NotBlank, at, quint8(image.at(at))};
    }
    return {};
}

QByteArray withSerial(QByteArray image, int address, const QByteArray &bytes)
{
    const qsizetype end = address + bytes.size();
    if (image.size() < end)
        image.append(QByteArray(end - image.size(), char(0xFF)));
    image.replace(address, bytes.size(), bytes);
    return image;
}

SerialCounter::SerialCounter(const QString &statePath)
    : m_path(statePath), m_lock(statePath + QStringLiteral(".lock"))
{
    // A run may hold the file for hours: only a holder that is gone leaves a stale lock.
    m_lock.setStaleLockTime(0);
}

SerialCounter::Status SerialCounter::open(quint64 first, quint64 step)
{
    m_step = step;
    m_next = m_saved = first;
    if (!m_lock.tryLock(0)) {
        if (m_lock.error() != QLockFile::LockFailedError) {
            m_error = QStringLiteral("cannot create its lock file %1").arg(m_lock.fileName());
            return Status::Failed;
        }
        m_lock.getLockInfo(&m_holder.pid, &m_holder.host, &m_holder.application);
        return Status::Held;
    }
    return readState() ? Status::Ok : Status::Failed;
}

bool SerialCounter::readState()
{
    QFile state(m_path);
    if (!state.exists())
        return true;
    if (!state.open(QIODevice::ReadOnly)) {
        m_error = state.errorString();
        return false;
    }
    const QString text = QString::fromLatin1(state.read(64)).trimmed();
    const std::optional<quint64> next = number(text, 10);
    if (!next) {
        m_error = QStringLiteral("\"%1\" is not a serial number").arg(text);
        return false;
    }
    m_next = m_saved = *next;
    m_resumed = true;
    return true;
}

quint64 SerialCounter::peek() const
{
    return m_returned.empty() ? m_next : *m_returned.begin();
}

quint64 SerialCounter::take()
{
    const quint64 number = peek();
    if (!m_returned.empty())
        m_returned.erase(m_returned.begin());
    else
        m_next = std::min(m_next + m_step, Limit);
    return number;
}

bool SerialCounter::passed(quint64 number)
{
    const quint64 after = std::min(number + m_step, Limit);
    return after <= m_saved || writeState(after);
}

bool SerialCounter::writeState(quint64 next)
{
    QSaveFile state(m_path);
    if (!state.open(QIODevice::WriteOnly) || state.write(QByteArray::number(next) + '\n') < 0 ||
        !state.commit()) {
        m_error = state.errorString();
        return false;
    }
    m_saved = next;
    // The rename itself is on the disk once the folder is.
    const int folder = ::open(QFile::encodeName(QFileInfo(m_path).absolutePath()).constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}
