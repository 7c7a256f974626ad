#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

// A CSV file that lines are only ever added to, each on the disk before append() returns:
// opened for appending, each line written whole in one write, then synced. Fields are quoted
// as RFC 4180 has it, and a field a spreadsheet would run as a formula (one that starts with
// =, +, -, @, a tab or a carriage return) is written with a leading apostrophe.
class CsvLog
{
public:
    // Opens path for appending and writes header first when the file is new or empty. False
    // when it cannot (errorString() says why).
    bool open(const QString &path, const QStringList &header);
    // One line; false when it could not be written whole and synced. A line written in part
    // is taken back where the file allows it.
    bool append(const QStringList &fields);
    QString errorString() const { return m_error; }
    // Whether open() opened the file (even when its header could then not be written).
    bool isOpen() const { return m_file.isOpen(); }

    // A field as it is written, and a whole line with its line end.
    static QString field(const QString &text);
    static QByteArray line(const QStringList &fields);

private:
    QFile m_file;
    QString m_error;
};
