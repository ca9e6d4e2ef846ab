#pragma once
// TFakeDialogs: the test double for every modal box. It installs itself while it
// lives, records each box shown (text, caption, flags) and answers from a queue of
// expected answers; a box nobody expected fails the running test.
#include "Dialogs.h"

#include <QTest>

#include <deque>
#include <vector>

class TFakeDialogs : public TDialogs {
public:
    struct TBox {
        QString Text;
        QString Caption;
        int Flags;
        bool PlainMessage; // ShowMessage rather than MessageBox
    };

    TFakeDialogs() { TDialogs::SetCurrent(this); }
    ~TFakeDialogs() override { TDialogs::SetCurrent(nullptr); }
    TFakeDialogs(const TFakeDialogs&) = delete;
    TFakeDialogs& operator=(const TFakeDialogs&) = delete;

    // The next box is expected and answered with Answer (IDOK, IDYES or IDNO).
    void Expect(int Answer) { FAnswers.push_back(Answer); }

    int MessageBox(const QString& Text, const QString& Caption, int Flags) override {
        Boxes.push_back({Text, Caption, Flags, false});
        return NextAnswer(Text);
    }
    void ShowMessage(const QString& Text, const QString& Caption) override {
        Boxes.push_back({Text, Caption, MB_OK, true});
        NextAnswer(Text);
    }

    std::vector<TBox> Boxes;

private:
    int NextAnswer(const QString& Text) {
        if (FAnswers.empty()) {
            QTest::qFail(qPrintable(QStringLiteral("unexpected box: ") + Text), __FILE__, __LINE__);
            return IDNO;
        }
        const int Answer = FAnswers.front();
        FAnswers.pop_front();
        return Answer;
    }

    std::deque<int> FAnswers;
};
