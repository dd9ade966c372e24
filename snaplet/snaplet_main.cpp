// Snaplet: shows the picture named by the command line. The whole tail is one path.
#include <QApplication>

#include "snaplet/snaplet_window.h"

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Snaplet"));
    CSnapletWindow window(PathFromArguments(QCoreApplication::arguments()));
    window.show();
    return QApplication::exec();
}
