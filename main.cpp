#include "app/application.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication qtApp(argc, argv);
    corvane::Application app;
    if (!app.start())
        return 1;
    return qtApp.exec();
}
