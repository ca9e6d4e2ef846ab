#pragma once
// TApplication: the program's application object. It derives the application title
// from the executable's name, maps the window's font to an installed face, loads Qt's
// own Japanese texts (context menus of the fields, standard buttons), installs the real
// message boxes and the central error box, and catches in notify() any error that still
// reaches Qt's event dispatch.
#include <QApplication>
#include <QByteArray>
#include <QString>

#include <exception>
#include <memory>

class QTranslator;
class TDialogs;

class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int& Argc, char** Argv);
    ~TApplication() override;

    const QString& Title() const { return FTitle; }
    // True when Qt's Japanese translations were found and installed.
    bool QtTranslated() const { return FQtTranslator != nullptr; }

    // The title for an executable at Path (UTF-8 bytes): the file name after the last
    // "/", cut at the first ".", then every byte A-Z after the first one lowered.
    static QByteArray TitleFromExecutablePath(const QByteArray& Path);
    // The error box's text for Message (UTF-8): "." is appended when the message's last
    // character compares greater than "." (a multi-byte character by its first byte).
    static QByteArray ErrorBoxText(const QByteArray& Message);
    // Shows Error in the central error box: OK button, stop icon, the title as caption.
    static void ShowException(const std::exception& Error);

    bool notify(QObject* Receiver, QEvent* Event) override;

private:
    QString FTitle;
    std::unique_ptr<QTranslator> FQtTranslator;
    std::unique_ptr<TDialogs> FDialogs;
};
