#include <QCoreApplication>
#include <QDir>
#include <QTextStream>

// The station window is not built yet: for now the program reports where its station folder is.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    out << "Corvalin Radio: the station folder is laid out in "
        << QDir::toNativeSeparators(QCoreApplication::applicationDirPath()) << "/\n"
        << "The station window is not there yet; it comes with a later version.\n";
    return 0;
}
