#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <vector>

class Station;

// A production run's stations on a terminal: a line each (its port, chips, what it is doing,
// its last result) and a total, kept under everything else written to the terminal and
// redrawn in place as the stations change.
class StationBoard : public QObject
{
public:
    struct Row {
        QString port;
        int passed = 0;
        int failed = 0;
        QString doing;
        QString last; // "PASS", "FAIL" or empty
    };

    // Shows the board while it lives; colour: PASS and FAIL in green and red.
    StationBoard(const std::vector<const Station *> &stations, bool colour);
    ~StationBoard() override;

    // The board's lines for rows (without line ends).
    static QStringList lines(const std::vector<Row> &rows, bool colour);
    // What a station is doing, by the step it sent last and the transfer's progress.
    static QString doing(const Station &station);

    void erase();
    void draw();

private:
    // Draws the board again when it has changed.
    void refresh();
    QStringList currentLines() const;

    std::vector<const Station *> m_stations;
    bool m_colour;
    int m_shown = 0;    // lines on the terminal now
    QStringList m_text; // as last drawn
    QTimer m_refresh;
};
