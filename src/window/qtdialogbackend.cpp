#include "qtdialogbackend.h"

#include <QFileDialog>
#include <QMessageBox>

namespace
{

// The filter comes as "description|pattern" pairs; Qt shows "description" and takes the
// pattern from its parentheses.
QStringList nameFilters(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString &description = parts.at(i);
        filters << (description.contains(QLatin1Char('('))
                        ? description
                        : description + QStringLiteral(" (") + parts.at(i + 1) + QLatin1Char(')'));
    }
    return filters;
}

} // namespace

DialogBackend::Outcome QtDialogBackend::fileDialog(Kind kind, const QString &title,
                                                   const QString &filter, QString &fileName)
{
    QFileDialog dialog(m_owner, title);
    dialog.setAcceptMode(kind == Kind::Open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The workbench asks about existing files itself; no suffix is ever added.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setNameFilters(nameFilters(filter));
    if (!fileName.isEmpty())
        dialog.selectFile(fileName);
    if (dialog.exec() != QDialog::Accepted)
        return Outcome::Cancelled;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty())
        return Outcome::Failed;
    fileName = chosen.first();
    return Outcome::Chosen;
}

int QtDialogBackend::messageBox(const QString &text, int style, const QString &title)
{
    QMessageBox box(QMessageBox::Warning, title, QString(), QMessageBox::NoButton, m_owner);
    // The text carries a file name: shown as written, never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    if (style == ExclamationYesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? Yes : No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return Ok;
}
