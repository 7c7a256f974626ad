#include "interrupt.h"

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace
{

int interruptPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(interruptPipe[1], &byte, 1);
}

struct StepWords {
    char command;
    const char *doing;
    const char *left; // what the chip may be left as; null: as it was
};

// The steps that change the chip, and what the others are doing.
const StepWords Steps[] = {
    {'E', "erasing", "the chip may be partly erased; erase it again"},
    {'P', "programming", "the chip may be partly programmed; erase and write it again"},
    {'Q', "programming", "the chip may be partly programmed; erase and write it again"},
    {'l', "setting the lock bits", "the lock bits may not be set; lock the chip again"},
    {'L', "loading the image into the programmer", nullptr},
    {'X', "clearing the programmer's SRAM", nullptr},
    {'F', "filling the programmer's SRAM", nullptr},
    {'d', "reading the programmer's SRAM", nullptr},
    {'c', "reading the programmer's SRAM", nullptr},
    {'S', "reading the programmer's SRAM", nullptr},
    {'R', "reading the chip", nullptr},
    {'B', "checking that the chip is blank", nullptr},
    {'s', "reading the chip's signature", nullptr},
    {'t', "testing the programmer", nullptr},
    {'i', "asking the programmer who it is", nullptr},
    {'!', "telling the programmer the chip", nullptr},
    {'@', "telling the programmer the chip", nullptr},
    {'#', "telling the programmer the chip", nullptr},
};

} // namespace

Interrupt::Interrupt()
{
    if (::pipe(interruptPipe) != 0)
        return;
    for (const int fd : interruptPipe)
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ::fcntl(interruptPipe[0], F_SETFL, O_NONBLOCK);
    m_notifier = std::make_unique<QSocketNotifier>(interruptPipe[0], QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { onPipe(); });
    struct sigaction action {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
}

Interrupt::~Interrupt()
{
    std::signal(SIGINT, SIG_DFL);
    m_notifier.reset();
    for (int &fd : interruptPipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

// One call of the handler for each Ctrl+C.
void Interrupt::onPipe()
{
    char bytes[16];
    const ssize_t n = ::read(interruptPipe[0], bytes, sizeof bytes);
    for (ssize_t i = 0; i < n; ++i) {
        const std::function<void()> handler = m_handler; // it may set another
        if (handler)
            handler();
    }
}

namespace
{

const StepWords *wordsFor(const QByteArray &underWay)
{
    for (const StepWords &step : Steps) {
        if (!underWay.isEmpty() && underWay.at(0) == step.command)
            return &step;
    }
    return nullptr;
}

} // namespace

QString doingText(const QByteArray &underWay)
{
    const StepWords *words = wordsFor(underWay);
    return words ? QString::fromLatin1(words->doing)
                 : QStringLiteral("searching for the programmer");
}

QString interruptedText(const QByteArray &underWay, bool programmed)
{
    const StepWords *words = wordsFor(underWay);
    const QString chip = words && words->left ? QString::fromLatin1(words->left)
                         : programmed         ? QStringLiteral("the chip was programmed but not "
                                                                       "yet checked; run verify")
                                              : QStringLiteral("the chip was not changed");
    return QStringLiteral("interrupted while %1: %2").arg(doingText(underWay), chip);
}
