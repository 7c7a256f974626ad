#pragma once

// vantor-soak: the workbench on the real serial line against the emulator, driven by random
// user actions and injected faults, with checks after every action that nothing was lost
// or misreported.

#include "core/notice.h"
#include "core/workbench.h"
#include "scripteddialogs.h"
#include "simfixture.h"
#include "watchedline.h"

#include <QRandomGenerator>
#include <QTemporaryDir>

#include <functional>
#include <limits>
#include <memory>

struct Counts {
    qint64 actions = 0;
    qint64 transfers = 0;
    qint64 refused = 0;
    qint64 bytesMoved = 0;
    qint64 faults = 0;
    qint64 violations = 0;
    qint64 falseRemovals = 0;
    qint64 discoveries = 0;
    // The least heap in use between actions up to the first sample after a fifth of the run
    // (since the sample before) and after the last sample, and the actions between.
    qint64 warmKiB = 0;
    qint64 endKiB = 0;
    qint64 actionsSinceWarm = 0;
};

class Soak : public QObject
{
    Q_OBJECT
public:
    explicit Soak(quint64 seed);
    ~Soak() override;

    // False when the emulator could not be started.
    bool run(int seconds);
    Counts counts;

private:
    // What the session signalled, counted as it happens.
    struct Seen {
        int found = 0;
        int settled = 0;
        int notFound = 0;
        int images = 0;
        int blocks = 0;
        int shownChip = -1;
        // The key report being waited for, and whether it has been followed.
        int keyWanted = -1;
        QString keyReport;
        qsizetype keyBaseline = 0;
        bool keySeen = false;
    };

    // Setting up and looking on (soak.cpp).
    void watchWorkbench();
    bool startEmulator(const QStringList &args);
    void unplugDevice();
    void discover(bool newDevice = false);
    void awaitSearch(const Seen &before);
    void runAction(int roll);
    void sampleHeap(qint64 elapsedMs, int seconds);
    void checkIdle();
    void violation(const QString &what);
    bool waitFor(const std::function<bool()> &done, int ms);
    void wake();
    void idle(int ms);
    QByteArray fence();
    Notice::Kind lastNotice() const;
    void beginAction(const char *name);

    // The user's actions (soakactions.cpp) and the faults (soakfaults.cpp).
    void fixedCommand();
    void chipChange();
    void fillOrDump();
    void load();
    void express();
    void transfer(char letter, const QString &path, bool askedFor);
    void prepareImage(const QString &path);
    void checkTransfer(char letter, const QByteArray &image, const QByteArray &onLine);
    void save();
    void chooseSize(int bytes, const QString &path);
    void checkSave(int bytes, const QString &path, bool existed, const QByteArray &old);
    void keyReport();
    void search();
    void unplugAndReplug();
    void junkBurst();
    void shortOrExtraSave();

    QString randomText(int typicalLength, bool hex);
    QString nextImagePath();

    QRandomGenerator rng;
    QTemporaryDir dir;
    QString devicePath; // the link the port map names; it points at the current emulator
    // The image file the current transfer sends, as it was on disk before it.
    QByteArray image;
    ScriptedDialogBackend dialogs;
    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<WatchedLine> line;
    std::unique_ptr<Workbench> bench;

    // What the program told during the current action, in order.
    QList<Notice> notices;
    Seen seen;
    // Bytes handed over up to the last fence.
    qint64 fenced = 0;
    qint64 warmAt = -1;
    qint64 nextSample = 0;
    qint64 floorKiB = std::numeric_limits<qint64>::max(); // since the last sample printed
    // What the current wait waits for (null when nothing waits).
    std::function<bool()> waiting;
    class QEventLoop *waitLoop = nullptr;
    bool expectOpen = false;
    bool unplugged = false;
    int fileSerial = 0;
    const char *currentAction = "start";
};
