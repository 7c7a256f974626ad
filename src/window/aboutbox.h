#pragma once

#include <QWidget>

// The about box: the maker's logo and how to reach the maker. No logic of its own.
class AboutBox : public QWidget
{
    Q_OBJECT
public:
    // Invented details: a .example address and numbers of zeros reach no one.
    static QString companyChinese() { return QStringLiteral("凡拓電子有限公司"); }
    static QString companyEnglish() { return QStringLiteral("Vantor Electronics Ltd."); }
    static QString webAddress() { return QStringLiteral("http://www.vantor-demo.example"); }
    static QString phone1() { return QStringLiteral("(00) 0000-1234"); }
    static QString phone2() { return QStringLiteral("(00) 0000-5678"); }

    explicit AboutBox(QWidget *parent = nullptr);

    // Shows the box centred on screen, frame included, wherever it was left, with the
    // keyboard (Escape closes it); a box that is up already stays as it is.
    void showCentred(const QScreen *screen);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void centreOn(const QScreen *screen);
};
