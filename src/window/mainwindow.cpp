#include "mainwindow.h"

#include "core/workbench.h"
#include "window/aboutbox.h"
#include "window/artwork.h"
#include "window/chipoptions.h"
#include "window/controls.h"
#include "window/savesizedialog.h"
#include "window/twips.h"
#include "window/windowadapter.h"

#include <QCloseEvent>
#include <QLayout>
#include <QPlainTextEdit>
#include <QRadioButton>

MainWindow::MainWindow(Workbench &workbench, QWidget *parent)
    : QMainWindow(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                              Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                              Qt::CustomizeWindowHint),
      m_workbench(workbench)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("USB_Vantor Programmer"));
    setWindowIcon(programIcon());

    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    // The window's face goes to its controls; the menu bar and its menus keep the
    // platform's menu font.
    client->setFont(kaiFont(ControlFont::Window));
    client->setFixedSize(twipsToPixels(this, 8880), twipsToPixels(this, 6816));
    setCentralWidget(client);
    buildTextBoxes(client);
    buildSramFrame(client);
    buildButtons(client);
    buildMenus();
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    m_adapter = new WindowAdapter(
        workbench, {m_responseBox, m_statusBox, m_latestFileLine, m_chipOptions}, this);
    connect(m_chipOptions, &ChipOptions::chosen, &workbench, &Workbench::chooseChip);
    connect(&workbench, &Workbench::exitRequested, this, &MainWindow::endProgram);
}

MainWindow::~MainWindow() = default;

AboutBox *MainWindow::aboutBox() const
{
    return m_adapter->aboutBox();
}

void MainWindow::buildTextBoxes(QWidget *client)
{
    m_responseBox = makeControl<QPlainTextEdit>(client, "Text1", ControlFont::Control);
    placeInTwips(m_responseBox, 120, 240, 8532, 2412);
    m_responseBox->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_responseBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_responseBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_responseBox->setTabChangesFocus(true);

    m_statusBox = makeControl<QLineEdit>(client, "Text2", ControlFont::Status);
    placeInTwips(m_statusBox, 120, 2880, 8532, 372);

    m_chipOptions = new ChipOptions(client);

    m_latestFileLine = makeControl<WrappingLabel>(client, "Label3", ControlFont::Control);
    placeInTwips(m_latestFileLine, 360, 4920, 8652, 492);
    m_latestFileLine->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void MainWindow::buildSramFrame(QWidget *client)
{
    auto *frame = makeControl<QGroupBox>(client, "Frame2", ControlFont::Control);
    frame->setTitle(QStringLiteral("SRAM Function"));
    placeInTwips(frame, 4680, 3480, 3852, 1212);
    auto *fillLabel = makeControl<QLabel>(frame, "Label1", ControlFont::Control);
    fillLabel->setText(QStringLiteral("Fill Data"));
    placeInTwips(fillLabel, 240, 360, 1212, 252);
    auto *dumpLabel = makeControl<QLabel>(frame, "Label2", ControlFont::Control);
    dumpLabel->setText(QStringLiteral("Data Dump"));
    placeInTwips(dumpLabel, 240, 720, 1212, 252);

    m_fillBox = makeControl<QLineEdit>(frame, "Text3", ControlFont::Control);
    m_fillBox->setText(QStringLiteral("FF"));
    placeInTwips(m_fillBox, 1440, 360, 1212, 276);
    m_dumpBox = makeControl<QLineEdit>(frame, "Text4", ControlFont::Control);
    m_dumpBox->setText(QStringLiteral("0000"));
    placeInTwips(m_dumpBox, 1440, 720, 1212, 288);
    // Enter in a box runs its request, once.
    connect(m_fillBox, &QLineEdit::returnPressed, this, &MainWindow::fill);
    connect(m_dumpBox, &QLineEdit::returnPressed, this, &MainWindow::dump);

    m_fillButton = makeControl<QPushButton>(frame, "Command6", ControlFont::Control);
    m_fillButton->setText(QStringLiteral("GO"));
    placeInTwips(m_fillButton, 2880, 360, 732, 300);
    connect(m_fillButton, &QPushButton::clicked, this, &MainWindow::fill);
    m_dumpButton = makeControl<QPushButton>(frame, "Command7", ControlFont::Control);
    m_dumpButton->setText(QStringLiteral("GO"));
    placeInTwips(m_dumpButton, 2880, 720, 732, 300);
    connect(m_dumpButton, &QPushButton::clicked, this, &MainWindow::dump);
}

void MainWindow::buildButtons(QWidget *client)
{
    struct Button {
        const char *objectName;
        const char *caption;
        int left, top, width, height;
        qreal points;
        std::function<void()> run;
    };
    Workbench &w = m_workbench;
    const Button buttons[] = {
        {"Command1", "Load", 240, 5520, 1692, 492, ControlFont::Control, [&w] { w.load(); }},
        {"Command2", "Verify", 240, 6120, 1692, 492, ControlFont::Control, sending("V")},
        {"Command3", "Programming", 2280, 6120, 2292, 492, ControlFont::Control, sending("P")},
        {"Command4", "Express", 6600, 5520, 2052, 1092, ControlFont::Window, [&w] { w.express(); }},
        {"Command5", "Exit", 4920, 6120, 1332, 492, ControlFont::Control, [&w] { w.exit(); }},
        {"Command9", "Program && Lock bit", 2280, 5520, 3972, 492, ControlFont::Window,
         sending("q")},
    };
    QWidget *made[std::size(buttons)];
    for (size_t i = 0; i < std::size(buttons); ++i) {
        const Button &b = buttons[i];
        auto *button = makeControl<QPushButton>(client, b.objectName, b.points);
        button->setText(QString::fromLatin1(b.caption));
        placeInTwips(button, b.left, b.top, b.width, b.height);
        connect(button, &QPushButton::clicked, this, b.run);
        made[i] = button;
    }

    // Focus order: the response and status boxes, the chips, Load, Verify, Programming,
    // Express, Exit, the fill and dump boxes and their GO buttons, Program & Lock bit.
    QWidget *order[] = {m_responseBox,
                        m_statusBox,
                        m_chipOptions->option(0),
                        m_chipOptions->option(1),
                        m_chipOptions->option(2),
                        made[0],
                        made[1],
                        made[2],
                        made[3],
                        made[4],
                        m_fillBox,
                        m_dumpBox,
                        m_fillButton,
                        m_dumpButton,
                        made[5]};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
}

std::function<void()> MainWindow::sending(const char *command)
{
    Workbench *w = &m_workbench;
    const QByteArray bytes(command);
    return [w, bytes] { w->command(bytes); };
}

void MainWindow::fill()
{
    m_workbench.fill(m_fillBox->text());
}

void MainWindow::dump()
{
    m_workbench.dump(m_dumpBox->text());
}

void MainWindow::offerSave()
{
    // A second Save while the size is being chosen only brings Select Size to the front.
    const bool choosing = m_sizeDialog && m_sizeDialog->isVisible();
    if (!choosing && !m_workbench.offerSave())
        return;
    if (!m_sizeDialog) {
        m_sizeDialog = std::make_unique<SaveSizeDialog>();
        connect(m_sizeDialog.get(), &SaveSizeDialog::sizeChosen, this, &MainWindow::saveChosenSize);
        connect(m_sizeDialog.get(), &SaveSizeDialog::abandoned, &m_workbench,
                &Workbench::saveAbandoned);
    }
    m_sizeDialog->ask();
}

void MainWindow::saveChosenSize(int bytes)
{
    m_sizeDialog->hide();
    // Refused while data moves: the choice waits in the window until SAVE is clicked again.
    if (!m_workbench.save(bytes))
        m_sizeDialog->ask();
}

void MainWindow::endProgram()
{
    m_ended = true;
    if (AboutBox *about = aboutBox())
        about->close();
    if (m_sizeDialog)
        m_sizeDialog->hide();
    emit programEnded();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Closing the window is Exit: the port is closed and the program ends.
    if (!m_ended)
        m_workbench.exit();
    event->accept();
}
