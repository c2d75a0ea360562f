// The program: starts the application object on a Qt application and runs its loop.

#include "app/WellvoxApp.h"
#include "display/BarometricDialog.h"
#include "display/DataFileViews.h"
#include "foundation/AppUtils.h"

#include <QApplication>

#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    // Numbers in files and protocols use the C locale's decimal point.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QStringLiteral("Wellvox"));
    QApplication::setApplicationVersion(QString::fromStdString(GetProgramVersion()));
    // The installed desktop entry (wellvox.desktop), by which a desktop shows the window's icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("wellvox"));
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.emplace_back(argv[i]);
    }
    // The data-file views live above the application library: the frame gets them here.
    RegisterDataFileViews();
    // The dialogs the views reach upward, before any view can ask for them.
    InstallBarometricDialogs();
    CWellvoxApp app;
    if (!app.InitInstance(arguments)) {
        std::fprintf(stderr, "Wellvox could not start.\n");
        return 1;
    }
    QObject::connect(&application, &QApplication::lastWindowClosed, &application, &QApplication::quit);
    const int result = QApplication::exec();
    app.ExitInstance();
    return result;
}
