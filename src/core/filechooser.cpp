#include "filechooser.h"

#include "core/messages.h"

#include <QFileInfo>

QString FileChooser::saveFilter()
{
    return QStringLiteral("TSK二進位檔 (*.tsk)|*.tsk");
}

QString FileChooser::openFilter()
{
    return saveFilter() + QStringLiteral("|Intel HEX檔 (*.hex *.ihx *.ihex)|*.hex;*.ihx;*.ihex");
}

FileChooser::Result FileChooser::ask(DialogBackend::Kind kind, const QString &filter, QString *path)
{
    QString name = m_name;
    const Result result = m_backend->fileDialog(kind, m_title, filter, name);
    if (result == Result::Chosen) {
        m_name = name;
        *path = name;
    }
    return result;
}

FileChooser::Result FileChooser::askToLoad(QString *path)
{
    m_title = QStringLiteral("開啟");
    for (;;) {
        const Result result = ask(DialogBackend::Kind::Open, openFilter(), path);
        if (result != Result::Chosen || QFileInfo(*path).isFile())
            return result;
        m_backend->messageBox(Messages::notFoundText(*path), DialogBackend::ExclamationOk,
                              Messages::notFoundTitle());
    }
}

FileChooser::Result FileChooser::askToSave(QString *path)
{
    m_title = QStringLiteral("儲存");
    for (;;) {
        const Result result = ask(DialogBackend::Kind::Save, saveFilter(), path);
        if (result != Result::Chosen || !QFileInfo::exists(*path))
            return result;
        if (m_backend->messageBox(Messages::existsText(*path), DialogBackend::ExclamationYesNo,
                                  Messages::existsTitle()) == DialogBackend::Yes)
            return result;
    }
}

FileChooser::Result FileChooser::askForExpress(QString *path)
{
    return ask(DialogBackend::Kind::Open, openFilter(), path);
}
