#include "csvlog.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

bool CsvLog::open(const QString &path, const QStringList &header)
{
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::Append | QIODevice::Unbuffered)) {
        m_error = m_file.errorString();
        return false;
    }
    return m_file.size() > 0 || append(header);
}

bool CsvLog::append(const QStringList &fields)
{
    const QByteArray bytes = line(fields);
    const qint64 before = m_file.size();
    if (m_file.write(bytes) != bytes.size()) {
        const int reason = errno; // a write cut short leaves the file's error unset
        m_error = m_file.error() != QFileDevice::NoError
                      ? m_file.errorString()
                      : QString::fromLocal8Bit(std::strerror(reason));
        if (::ftruncate(m_file.handle(), before) == 0)
            m_file.seek(before);
        return false;
    }
    // A file that cannot be synced (a pipe, a terminal) has nothing to lose in a crash.
    if (::fsync(m_file.handle()) != 0 && errno != EINVAL && errno != EROFS) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    return true;
}

QString CsvLog::field(const QString &text)
{
    static const QString formula = QStringLiteral("=+-@\t\r");
    QString out = text;
    if (!out.isEmpty() && formula.contains(out.front()))
        out.prepend(QLatin1Char('\''));
    if (!out.contains(QLatin1Char(',')) && !out.contains(QLatin1Char('"')) &&
        !out.contains(QLatin1Char('\n')) && !out.contains(QLatin1Char('\r')))
        return out;
    out.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + out + QLatin1Char('"');
}

QByteArray CsvLog::line(const QStringList &fields)
{
    QStringList out;
    for (const QString &text : fields)
        out << field(text);
    return out.join(QLatin1Char(',')).toUtf8() + '\n';
}
