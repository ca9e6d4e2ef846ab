#pragma once
// TEdit: a single-line field. (Behaviour comes with the view work.)
#include <QLineEdit>

class TEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TEdit(QWidget* Parent = nullptr) : QLineEdit(Parent) {}
};
