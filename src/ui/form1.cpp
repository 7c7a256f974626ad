#include "form1.h"

#include "core/programmer.h"
#include "ui/artwork.h"
#include "ui/form2.h"
#include "ui/form3.h"
#include "ui/qtdialogbackend.h"
#include "ui/twips.h"

#include <QAction>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTextOption>

#include <limits>
#include <type_traits>

namespace
{

// Font sizes of the controls, in points of the window's face.
constexpr qreal ControlPt = 10.8;
constexpr qreal StatusPt = 9.0;
constexpr qreal WindowPt = 12.0;

template <typename W> W *makeControl(QWidget *parent, const char *name, qreal pointSize)
{
    auto *w = new W(parent);
    w->setObjectName(QString::fromLatin1(name));
    w->setFont(kaiFont(pointSize));
    // A label shows its text as written: a file name is never read as markup.
    if constexpr (std::is_base_of_v<QLabel, W>)
        w->setTextFormat(Qt::PlainText);
    // Enter clicks the focused button, as Space does.
    if constexpr (std::is_base_of_v<QPushButton, W>)
        w->setAutoDefault(true);
    // Text boxes take any length (Qt stops at 32,767 characters unless told).
    if constexpr (std::is_base_of_v<QLineEdit, W>)
        w->setMaxLength(std::numeric_limits<int>::max());
    return w;
}

// The latest-file line: a label that wraps a long path onto its second line, between
// words where it can and anywhere where it must, within the part of the label that lies
// inside its window (the label reaches past the window's right edge). The text itself is
// left exactly as set.
class WrappingLabel : public QLabel
{
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QRect area = contentsRect();
        if (const QWidget *parent = parentWidget())
            area.setRight(qMin(area.right(), parent->width() - x() - 1));
        QTextOption option(alignment() & Qt::AlignHorizontal_Mask);
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        QPainter painter(this);
        painter.setPen(palette().color(foregroundRole()));
        painter.drawText(QRectF(area), text(), option);
    }
};

} // namespace

Form1::Form1(const PortMap &ports, DialogBackend *dialogs, QWidget *parent)
    : QMainWindow(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                              Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                              Qt::CustomizeWindowHint)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("USB_Vantor Programmer"));
    setWindowIcon(programIcon());
    if (!dialogs) {
        m_ownDialogs = std::make_unique<QtDialogBackend>(this);
        dialogs = m_ownDialogs.get();
    }
    m_programmer = std::make_unique<Programmer>(this, dialogs, ports);

    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    // The window's face goes to its controls; the menu bar and its menus keep the
    // platform's menu font.
    client->setFont(kaiFont(WindowPt));
    client->setFixedSize(twipsToPixels(this, 8880), twipsToPixels(this, 6816));
    setCentralWidget(client);
    buildControls(client);
    buildMenus();
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

Form1::~Form1()
{
    delete m_form2;
    delete m_form3;
}

void Form1::buildControls(QWidget *client)
{
    Text1 = makeControl<QPlainTextEdit>(client, "Text1", ControlPt);
    placeInTwips(Text1, 120, 240, 8532, 2412);
    Text1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text1->setTabChangesFocus(true);

    Text2 = makeControl<QLineEdit>(client, "Text2", StatusPt);
    placeInTwips(Text2, 120, 2880, 8532, 372);

    auto *frame1 = makeControl<QGroupBox>(client, "Frame1", ControlPt);
    frame1->setTitle(QStringLiteral("Choose Chip"));
    placeInTwips(frame1, 240, 3480, 4092, 1212);
    m_chipGroup = new QButtonGroup(this);
    const int optionPlace[3][4] = {
        {240, 360, 1692, 180}, {2160, 360, 1692, 180}, {240, 760, 2412, 204}};
    for (int i = 0; i < 3; ++i) {
        const QByteArray name = "Option" + QByteArray::number(i + 1);
        Options[i] = makeControl<QRadioButton>(frame1, name.constData(), ControlPt);
        Options[i]->setText(QString::fromLatin1(ChipSelection::Chips[i].caption));
        placeInTwips(Options[i], optionPlace[i][0], optionPlace[i][1], optionPlace[i][2],
                     optionPlace[i][3]);
        m_chipGroup->addButton(Options[i], i + 1);
    }
    connect(m_chipGroup, &QButtonGroup::idClicked, this, &Form1::chipOptionClicked);
    fixChipTabStop();

    struct Button {
        const char *name;
        const char *caption;
        int left, top, width, height;
        qreal pt;
        void (Form1::*click)();
    };
    const Button buttons[] = {
        {"Command1", "Load", 240, 5520, 1692, 492, ControlPt, &Form1::Command1_Click},
        {"Command2", "Verify", 240, 6120, 1692, 492, ControlPt, &Form1::Command2_Click},
        {"Command3", "Programming", 2280, 6120, 2292, 492, ControlPt, &Form1::Command3_Click},
        {"Command4", "Express", 6600, 5520, 2052, 1092, WindowPt, &Form1::Command4_Click},
        {"Command5", "Exit", 4920, 6120, 1332, 492, ControlPt, &Form1::Command5_Click},
    };
    QPushButton *made[5];
    int k = 0;
    for (const Button &b : buttons) {
        auto *button = makeControl<QPushButton>(client, b.name, b.pt);
        button->setText(QString::fromLatin1(b.caption));
        placeInTwips(button, b.left, b.top, b.width, b.height);
        connect(button, &QPushButton::clicked, this, b.click);
        made[k++] = button;
    }

    auto *frame2 = makeControl<QGroupBox>(client, "Frame2", ControlPt);
    frame2->setTitle(QStringLiteral("SRAM Function"));
    placeInTwips(frame2, 4680, 3480, 3852, 1212);
    auto *label1 = makeControl<QLabel>(frame2, "Label1", ControlPt);
    label1->setText(QStringLiteral("Fill Data"));
    placeInTwips(label1, 240, 360, 1212, 252);
    auto *label2 = makeControl<QLabel>(frame2, "Label2", ControlPt);
    label2->setText(QStringLiteral("Data Dump"));
    placeInTwips(label2, 240, 720, 1212, 252);
    Text3 = makeControl<QLineEdit>(frame2, "Text3", ControlPt);
    Text3->setText(QStringLiteral("FF"));
    placeInTwips(Text3, 1440, 360, 1212, 276);
    Text3->installEventFilter(this);
    Text4 = makeControl<QLineEdit>(frame2, "Text4", ControlPt);
    Text4->setText(QStringLiteral("0000"));
    placeInTwips(Text4, 1440, 720, 1212, 288);
    Text4->installEventFilter(this);

    Label3 = makeControl<WrappingLabel>(client, "Label3", ControlPt);
    placeInTwips(Label3, 360, 4920, 8652, 492);
    Label3->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto *command6 = makeControl<QPushButton>(frame2, "Command6", ControlPt);
    command6->setText(QStringLiteral("GO"));
    placeInTwips(command6, 2880, 360, 732, 300);
    connect(command6, &QPushButton::clicked, this, &Form1::Command6_Click);
    auto *command7 = makeControl<QPushButton>(frame2, "Command7", ControlPt);
    command7->setText(QStringLiteral("GO"));
    placeInTwips(command7, 2880, 720, 732, 300);
    connect(command7, &QPushButton::clicked, this, &Form1::Command7_Click);

    auto *command9 = makeControl<QPushButton>(client, "Command9", WindowPt);
    command9->setText(QStringLiteral("Program && Lock bit"));
    placeInTwips(command9, 2280, 5520, 3972, 492);
    connect(command9, &QPushButton::clicked, this,
            [this] { programmer().commands.Command9_Click(); });

    // Focus order: the Tab column of the design.
    QWidget *order[] = {Text1,   Text2,   Options[0], Options[1], Options[2],
                        made[0], made[1], made[2],    made[3],    made[4],
                        Text3,   Text4,   command6,   command7,   command9};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
}

QAction *Form1::addItem(QMenu *menu, const char *name, const QString &caption)
{
    QAction *action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

void Form1::buildMenus()
{
    Programmer &p = programmer();
    auto separator = [](QMenu *menu, const char *name) {
        menu->addSeparator()->setObjectName(QString::fromLatin1(name));
    };
    auto heading = [this](const char *name, const QString &caption) {
        QMenu *menu = menuBar()->addMenu(caption);
        menu->setObjectName(QString::fromLatin1(name));
        menu->menuAction()->setObjectName(QString::fromLatin1(name));
        return menu;
    };

    QMenu *muFile = heading("muFile", QStringLiteral("File(&F)"));
    connect(addItem(muFile, "muFileLoad", QStringLiteral("Load(&L)")), &QAction::triggered, this,
            [&p] { p.transfers.muFileLoad_Click(); });
    connect(addItem(muFile, "muFileSave", QStringLiteral("Save(&S)")), &QAction::triggered, this,
            [&p] { p.save.muFileSave_Click(); });
    connect(addItem(muFile, "muFileComm", QStringLiteral("ComPort check(&K)")), &QAction::triggered,
            this, [&p] { p.discovery.muFileComm_Click(); });
    separator(muFile, "muFileC");
    connect(addItem(muFile, "muFileExit", QStringLiteral("Exit(&X)")), &QAction::triggered, this,
            [&p] { p.startup.muFileExit_Click(); });

    CommandSet &c = p.commands;
    QMenu *muIc = heading("muIc", QStringLiteral("IC(&C)"));
    connect(addItem(muIc, "muIcSig", QStringLiteral("Signature(&I)")), &QAction::triggered, this,
            [&c] { c.muIcSig_Click(); });
    separator(muIc, "muIcC1");
    connect(addItem(muIc, "muIcBlank", QStringLiteral("Blank Check(&B)")), &QAction::triggered,
            this, [&c] { c.muIcBlank_Click(); });
    connect(addItem(muIc, "muIcErase", QStringLiteral("Erase Chip(&E)")), &QAction::triggered, this,
            [&c] { c.muIcErase_Click(); });
    connect(addItem(muIc, "muIcProg", QStringLiteral("Programming(&P)")), &QAction::triggered, this,
            [&c] { c.muIcProg_Click(); });
    connect(addItem(muIc, "muIcLock", QStringLiteral("Lock bit(&L)")), &QAction::triggered, this,
            [&c] { c.muIcLock_Click(); });
    connect(addItem(muIc, "muIcRead", QStringLiteral("Read(&R)")), &QAction::triggered, this,
            [&c] { c.muIcRead_Click(); });
    connect(addItem(muIc, "muIcVer", QStringLiteral("Verify(&V)")), &QAction::triggered, this,
            [&c] { c.muIcVer_Click(); });
    separator(muIc, "muIcC2");
    QAction *muIcExp = addItem(muIc, "muIcExp", QStringLiteral("Express(&Q)"));
    muIcExp->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    muIcExp->setShortcutContext(Qt::WindowShortcut);
    connect(muIcExp, &QAction::triggered, this, [&p] { p.transfers.muIcExp_Click(); });

    QMenu *muProg = heading("muProg", QStringLiteral("Programmer(&P)"));
    connect(addItem(muProg, "muProgClear", QStringLiteral("SRAM Clear(&C)")), &QAction::triggered,
            this, [&c] { c.muProgClear_Click(); });
    connect(addItem(muProg, "muProgFill", QStringLiteral("SRAM Fill(&F)")), &QAction::triggered,
            this, [&p] { p.sram.muProgFill_Click(); });
    connect(addItem(muProg, "muProgDump", QStringLiteral("SRAM Dump(&D)")), &QAction::triggered,
            this, [&p] { p.sram.muProgDump_Click(); });
    connect(addItem(muProg, "muProgSum", QStringLiteral("SRAM Checksum(&S)")), &QAction::triggered,
            this, [&c] { c.muProgSum_Click(); });

    QMenu *muDiag = heading("muDiag", QStringLiteral("Diagnostic(&D)"));
    connect(addItem(muDiag, "muDiagRAM", QStringLiteral("Test 8K SRAM(&M)")), &QAction::triggered,
            this, [&c] { c.muDiagRAM_Click(); });
    connect(addItem(muDiag, "muDiagLED", QStringLiteral("Test LED(&D)")), &QAction::triggered, this,
            [&c] { c.muDiagLED_Click(); });
    connect(addItem(muDiag, "muDiagBuz", QStringLiteral("Test Buzzer(&B)")), &QAction::triggered,
            this, [&c] { c.muDiagBuz_Click(); });
    separator(muDiag, "muDiagC1");
    connect(addItem(muDiag, "muDiagVpp", QStringLiteral("Test Vpp at 12V(&V)")),
            &QAction::triggered, this, [&c] { c.muDiagVpp_Click(); });
    connect(addItem(muDiag, "muDiagHi", QStringLiteral("Test Vpp at High(&H)")),
            &QAction::triggered, this, [&c] { c.muDiagHi_Click(); });
    connect(addItem(muDiag, "muDiagLow", QStringLiteral("Test Vpp at Low(&L)")),
            &QAction::triggered, this, [&c] { c.muDiagLow_Click(); });
    separator(muDiag, "muDiagC2");
    connect(addItem(muDiag, "muDiagFirm", QStringLiteral("Firmware Version(&N)")),
            &QAction::triggered, this, [&c] { c.muDiagFirm_Click(); });

    QMenu *muAbout = heading("muAbout", QStringLiteral("About(&A)"));
    connect(addItem(muAbout, "muAboutVer", QStringLiteral("Version(&N)")), &QAction::triggered,
            this, [&c] { c.muAboutVer_Click(); });
}

void Form1::Form_Load(const QString &startDirectory)
{
    programmer().startup.Form_Load(startDirectory);
}

void Form1::Command1_Click()
{
    programmer().transfers.muFileLoad_Click();
}
void Form1::Command2_Click()
{
    programmer().commands.muIcVer_Click();
}
void Form1::Command3_Click()
{
    programmer().commands.muIcProg_Click();
}
void Form1::Command4_Click()
{
    programmer().transfers.muIcExp_Click();
}
void Form1::Command5_Click()
{
    programmer().startup.muFileExit_Click();
}
void Form1::Command6_Click()
{
    programmer().sram.muProgFill_Click();
}
void Form1::Command7_Click()
{
    programmer().sram.muProgDump_Click();
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && (watched == Text3 || watched == Text4)) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        const qint16 keyCode = enter ? 13 : static_cast<qint16>(key->key() & 0x7FFF);
        qint16 shift = 0;
        if (key->modifiers() & Qt::ShiftModifier)
            shift |= 1;
        if (key->modifiers() & Qt::ControlModifier)
            shift |= 2;
        if (key->modifiers() & Qt::AltModifier)
            shift |= 4;
        if (watched == Text3)
            programmer().sram.Text3_KeyDown(keyCode, shift);
        else
            programmer().sram.Text4_KeyDown(keyCode, shift);
        return enter; // Enter has no editing meaning in a single-line box
    }
    return QMainWindow::eventFilter(watched, event);
}

void Form1::closeEvent(QCloseEvent *event)
{
    // Closing the window is Exit: the port is closed and the program ends.
    if (!m_ended)
        programmer().startup.muFileExit_Click();
    event->accept();
}

QString Form1::text(int box) const
{
    switch (box) {
    case 1:
        return Text1->toPlainText();
    case 2:
        return Text2->text();
    case 3:
        return Text3->text();
    case 4:
        return Text4->text();
    }
    return QString();
}

void Form1::setText(int box, const QString &text)
{
    switch (box) {
    case 1:
        Text1->setPlainText(text);
        break;
    case 2:
        Text2->setText(text);
        Text2->setCursorPosition(0);
        break;
    case 3:
        Text3->setText(text);
        break;
    case 4:
        Text4->setText(text);
        break;
    }
}

void Form1::setLabel3(const QString &caption)
{
    Label3->setText(caption);
}

int Form1::selectedChipOption() const
{
    const int id = m_chipGroup->checkedId();
    return id < 0 ? 0 : id;
}

void Form1::markChipOption(int option)
{
    if (option >= 1 && option <= 3) {
        Options[option - 1]->setChecked(true);
    } else {
        m_chipGroup->setExclusive(false);
        for (QRadioButton *b : Options)
            b->setChecked(false);
        m_chipGroup->setExclusive(true);
    }
    m_markedChip = option >= 1 && option <= 3 ? option : 0;
    fixChipTabStop();
}

void Form1::chipOptionClicked(int option)
{
    // Clicking (or pressing Space on) the chip already chosen changes nothing.
    if (option == m_markedChip)
        return;
    ChipSelection &chips = programmer().chips;
    if (option == 1)
        chips.Option1_Click();
    else if (option == 2)
        chips.Option2_Click();
    else if (option == 3)
        chips.Option3_Click();
}

void Form1::fixChipTabStop()
{
    // As on Windows, Tab enters the chip group at the chosen chip (the first when none is
    // chosen) and leaves it from there; the arrow keys move within the group. Qt moves the
    // tab stop itself only when a button is clicked or focused, not when the program
    // chooses one.
    const int chosen = m_chipGroup->checkedId();
    QRadioButton *stop = chosen >= 1 && chosen <= 3 ? Options[chosen - 1] : Options[0];
    for (QRadioButton *b : Options)
        b->setFocusPolicy(b == stop ? Qt::StrongFocus : Qt::ClickFocus);
}

void Form1::showForm2()
{
    if (!m_form2) {
        m_form2 = new Form2();
        m_form2->setAttribute(Qt::WA_DeleteOnClose, false);
    }
    if (m_form2->isVisible())
        return;
    // Centred on the screen each time it comes up, wherever it was left; once more after
    // showing, when the size of its frame is known.
    centreOnScreen(m_form2);
    m_form2->show();
    centreOnScreen(m_form2);
}

void Form1::centreOnScreen(QWidget *window) const
{
    const QScreen *screen = this->screen();
    if (!screen)
        return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

void Form1::showForm3()
{
    if (!m_form3) {
        m_form3 = new Form3();
        connect(m_form3, &Form3::Command1_Click, this,
                [this] { programmer().save.Form3_Command1_Click(); });
        connect(m_form3, &Form3::QueryUnload, this,
                [this] { programmer().save.Form3_QueryUnload(); });
    }
    m_form3->show();
    m_form3->raise();
    m_form3->activateWindow();
}

void Form1::hideForm3()
{
    if (m_form3)
        m_form3->hide();
}

bool Form1::form3Visible() const
{
    return m_form3 && m_form3->isVisible();
}

bool Form1::form3Option(int option) const
{
    return m_form3 && m_form3->Option(option);
}

void Form1::endProgram()
{
    m_ended = true;
    if (m_form2)
        m_form2->close();
    if (m_form3)
        m_form3->hide();
    emit programEnded();
}
