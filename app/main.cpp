#include "Framewright.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // The application object must outlive the window: the window's destructor
    // may still ask about unsaved marks.
    QApplication app(argc, argv);
    int result = 0;
    {
        const QString path = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
        Framewright window(path);
        window.show();
        result = QApplication::exec();
    }
    return result;
}
