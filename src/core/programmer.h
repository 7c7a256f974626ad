#pragma once

#include "core/bufferlimits.h"
#include "core/form1view.h"
#include "core/startup.h"
#include "core/vbtimer.h"
#include "image/commondialog.h"
#include "image/savebuffer.h"
#include "image/transfers.h"
#include "link/chipselection.h"
#include "link/commandset.h"
#include "link/discovery.h"
#include "link/mscomm.h"
#include "link/seriallink.h"
#include "sram/sramtools.h"

#include <QObject>
#include <QString>

#include <array>

// Everything the main window holds besides its controls: the serial-port control, the
// four timers, the file dialog, the shared values, and the handlers of every subsystem.
// The window reaches the behaviour only through this object; the behaviour reaches the
// window only through Form1View.
class Programmer : public QObject
{
    Q_OBJECT
public:
    static constexpr int TxBufferSize = BufferLimits::TxBufferSize;

    Programmer(Form1View *view, DialogBackend *dialogs, const PortMap &ports,
               QObject *parent = nullptr);
    ~Programmer() override;

    Form1View &view;
    CommonDialog CommonDialog1;
    MSComm MSComm1;
    VbTimer Timer1{QStringLiteral("Timer1"), 100};
    VbTimer Timer2{QStringLiteral("Timer2"), 3};
    VbTimer Timer3{QStringLiteral("Timer3"), 0};
    VbTimer Timer4{QStringLiteral("Timer4"), 0};

    // Shared values.
    QString RxText;
    QString ChipName;
    QString ChipLogPath;
    QString TskLogPath;
    QString LatestFile;

    // The outgoing byte queue of the pump, also the staging area of Load and Express.
    std::array<quint8, TxBufferSize> TxBuffer{};
    qint16 TxCount = 0;
    int TxIndex = 0;
    QByteArray TxByte = QByteArray(1, '\0');

    // Discovery.
    qint16 ProbePort = 0;
    qint16 WaitTicks = 0;
    QString ProbeReply;

    // The transfer interlock. transferActive: a Load, Express or Save handler is running
    // (no second one may start). bytesMoving: it is using the port itself (nothing else
    // may write to the port or touch TxBuffer).
    bool transferActive = false;
    bool bytesMoving = false;
    bool exiting = false;

    Startup startup;
    SerialLink link;
    Discovery discovery;
    ChipSelection chips;
    CommandSet commands;
    ImageTransfer transfers;
    SaveBuffer save;
    SramTools sram;

    // Shorthands for the window's texts.
    QString text(int box) const { return view.text(box); }
    void setText(int box, const QString &value) { view.setText(box, value); }
};

// Marks a transfer handler as running for the life of the object.
class TransferScope
{
public:
    explicit TransferScope(Programmer &p) : m_p(p) { m_p.transferActive = true; }
    ~TransferScope()
    {
        m_p.transferActive = false;
        m_p.bytesMoving = false;
    }
    TransferScope(const TransferScope &) = delete;
    TransferScope &operator=(const TransferScope &) = delete;

private:
    Programmer &m_p;
};
