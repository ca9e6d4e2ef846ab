#include "Application.h"

#include "Dialogs.h"
#include "Fonts.h"
#include "Guard.h"
#include "MessageBoxes.h"

#include <QFile>
#include <QLibraryInfo>
#include <QTranslator>

TApplication::TApplication(int& Argc, char** Argv) : QApplication(Argc, Argv) {
    FTitle = QString::fromUtf8(TitleFromExecutablePath(QFile::encodeName(applicationFilePath())));
    TDialogs::SetApplicationTitle(FTitle);
    // Every text of the program is Japanese, whatever the locale: Qt's own texts too.
    auto Translator = std::make_unique<QTranslator>();
    if (Translator->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
        installTranslator(Translator.get())) {
        FQtTranslator = std::move(Translator);
    }
    // Before any widget exists, so every control gets the proportional face.
    TFonts::InstallSubstitutes();
    FDialogs = std::make_unique<TMessageBoxes>();
    TDialogs::SetCurrent(FDialogs.get());
    TErrorReporter::SetHandler([](const std::exception& Error) { ShowException(Error); });
}

TApplication::~TApplication() {
    if (FQtTranslator != nullptr) {
        removeTranslator(FQtTranslator.get());
    }
    TErrorReporter::SetHandler(nullptr);
    TDialogs::SetCurrent(nullptr);
}

QByteArray TApplication::TitleFromExecutablePath(const QByteArray& Path) {
    QByteArray Name = Path.mid(Path.lastIndexOf('/') + 1);
    if (const qsizetype Dot = Name.indexOf('.'); Dot >= 0) {
        Name.truncate(Dot);
    }
    for (qsizetype I = 1; I < Name.size(); ++I) {
        if (Name[I] >= 'A' && Name[I] <= 'Z') {
            Name[I] = static_cast<char>(Name[I] - 'A' + 'a');
        }
    }
    return Name;
}

QByteArray TApplication::ErrorBoxText(const QByteArray& Message) {
    if (Message.isEmpty()) {
        return Message;
    }
    // Step back over UTF-8 continuation bytes to the last character's first byte.
    qsizetype Last = Message.size() - 1;
    while (Last > 0 && (static_cast<unsigned char>(Message[Last]) & 0xC0) == 0x80) {
        --Last;
    }
    if (static_cast<unsigned char>(Message[Last]) > static_cast<unsigned char>('.')) {
        return Message + '.';
    }
    return Message;
}

void TApplication::ShowException(const std::exception& Error) {
    const QString Text = QString::fromUtf8(ErrorBoxText(QByteArray(Error.what())));
    TDialogs::Current().MessageBox(Text, TDialogs::ApplicationTitle(), TDialogs::MB_OK | TDialogs::MB_ICONERROR);
}

bool TApplication::notify(QObject* Receiver, QEvent* Event) {
    // Every handler guards itself; this is the last stop for anything that did not.
    bool Result = false;
    if (!Guarded([&] { Result = QApplication::notify(Receiver, Event); })) {
        return false;
    }
    return Result;
}
