#include "tarnova_app.hpp"

#include <QApplication>

int main(int argc, char** argv)
{
    tarnova_install_startup_handler();
    QApplication app(argc, argv);
    return tarnova_main(argc, argv);
}
