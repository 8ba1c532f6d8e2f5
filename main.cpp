#include "app/application.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication qtApp(argc, argv);
    corvane::Application app;
    if (!app.start())
        return app.handedOver() ? 0 : 1;
    return qtApp.exec();
}
