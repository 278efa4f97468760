// The floor any Qt Widgets window pays: a window with one push button.
#include <QApplication>
#include <QPushButton>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QPushButton button("Quit");
    button.setWindowTitle("Qt floor");
    QObject::connect(&button, &QPushButton::clicked, &app, &QApplication::quit);
    button.show();
    return app.exec();
}
