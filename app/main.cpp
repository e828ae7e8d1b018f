#include <QApplication>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Calvera");
    QMainWindow window;
    window.setWindowTitle("Calvera");
    auto* label = new QLabel("Calvera", &window);
    label->setAlignment(Qt::AlignCenter);
    window.setCentralWidget(label);
    window.setFixedSize(861, 529);
    window.show();
    return QApplication::exec();
}
