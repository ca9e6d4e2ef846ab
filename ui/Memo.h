#pragma once
// TMemo: the body editor. (Behaviour comes with the view work.)
#include <QPlainTextEdit>

class TMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TMemo(QWidget* Parent = nullptr) : QPlainTextEdit(Parent) {}
};
