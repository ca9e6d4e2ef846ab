// The program's entry: the application, its one window, and the message loop.
#include "Application.h"
#include "Unit1.h"

int main(int Argc, char** Argv) {
    TApplication Application(Argc, Argv);
    TForm1 Form1;
    Form1.show();
    return Application.exec();
}
