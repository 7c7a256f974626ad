#pragma once

#include <QString>

struct Notice;

// The texts the program itself shows, all of them here. Captions live with the windows. A
// path is shown with the platform's separators.
namespace Messages
{

// The text of a notice, exactly as the status box shows it.
QString text(const Notice &notice);
// The latest-file line: "No latest file !" or "Latest File at " and the path.
QString latestFileLine(const QString &path);

// The file chooser's boxes: a file to load that is not there, a file to save that is.
QString notFoundTitle();
QString notFoundText(const QString &path);
QString existsTitle();
QString existsText(const QString &path);

} // namespace Messages
