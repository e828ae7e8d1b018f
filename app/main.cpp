// Calvera's entry point; the command line is not read.

#include "Startup.h"

#include <QApplication>
#include <QElapsedTimer>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QElapsedTimer clock;
    clock.start();
    return runCalvera(app, [&clock] { return static_cast<std::uint32_t>(clock.elapsed()); });
}
