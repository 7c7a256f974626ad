#pragma once

#include <QWidget>

// The about box: the maker's logo and how to reach the maker. No logic of its own.
class Form2 : public QWidget
{
    Q_OBJECT
public:
    static QString companyChinese() { return QStringLiteral("凡拓示範電子有限公司"); }
    static QString companyEnglish()
    {
        return QStringLiteral("Vantor Demo Electronics (fictitious)");
    }
    static QString webAddress() { return QStringLiteral("http://www.vantor-demo.example"); }
    static QString phone1() { return QStringLiteral("(00) 0000-1234"); }
    static QString phone2() { return QStringLiteral("(00) 0000-5678"); }

    explicit Form2(QWidget *parent = nullptr);
};
