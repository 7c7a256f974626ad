#include "windowadapter.h"

#include "core/notice.h"
#include "core/receivedtext.h"
#include "core/workbench.h"
#include "window/aboutbox.h"
#include "window/chipoptions.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextDocument>

WindowAdapter::WindowAdapter(Workbench &workbench, const Controls &controls, QObject *parent)
    : QObject(parent), m_controls(controls)
{
    connect(&workbench, &Workbench::received, this, &WindowAdapter::appendReceived);
    connect(&workbench, &Workbench::receivedCleared, this, [this] { showReceived({}); });
    connect(&workbench, &Workbench::receivedPolled, this, &WindowAdapter::showReceivedAgain);
    connect(&workbench, &Workbench::chipShown, controls.chipOptions, &ChipOptions::mark);
    connect(&workbench, &Workbench::notice, this, &WindowAdapter::showNotice);
    connect(&workbench, &Workbench::latestFileChanged, this, &WindowAdapter::showLatestFile);
    connect(&workbench, &Workbench::aboutRequested, this, &WindowAdapter::showAboutBox);
}

WindowAdapter::~WindowAdapter() = default;

void WindowAdapter::appendReceived(const QByteArray &bytes)
{
    showReceived(m_received + ReceivedText::decode(bytes));
}

void WindowAdapter::showReceived(const QString &text)
{
    m_received = text;
    m_controls.responseBox->setPlainText(text);
    m_controls.responseBox->document()->setModified(false);
}

// What the user typed into the response box lasts until the poller's next tick. A box the
// user has not changed is left alone, so that a selection in it stays.
void WindowAdapter::showReceivedAgain()
{
    if (m_controls.responseBox->document()->isModified())
        showReceived(m_received);
}

void WindowAdapter::showNotice(const Notice &notice)
{
    m_controls.statusBox->setText(Messages::text(notice));
    m_controls.statusBox->setCursorPosition(0);
}

void WindowAdapter::showLatestFile(const QString &path)
{
    m_controls.latestFileLine->setText(Messages::latestFileLine(path));
}

void WindowAdapter::showAboutBox()
{
    if (!m_aboutBox)
        m_aboutBox = std::make_unique<AboutBox>();
    m_aboutBox->showCentred(m_controls.statusBox->screen());
}
