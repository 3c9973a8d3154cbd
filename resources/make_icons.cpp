// dkq-icons FOLDER: writes FOLDER/<size>x<size>/apps/<program>.png for the
// desktop entries, in the layout of the hicolor icon theme.
#include <QDir>
#include <QGuiApplication>
#include <array>
#include <cstdio>

#include "resources/program_icons.h"

namespace {

struct Program {
    dkq::ProgramIcon icon;
    const char* name;
};

constexpr std::array Programs = {
    Program{dkq::ProgramIcon::Multimon, "multimon"}, Program{dkq::ProgramIcon::Dkqsim, "dkqsim"},
    Program{dkq::ProgramIcon::Dkq, "dkq"}, Program{dkq::ProgramIcon::Modcfg, "modcfg"},
    Program{dkq::ProgramIcon::DkqLogger, "dkq-logger"}};
constexpr std::array Sizes = {16, 32, 48, 64, 128, 256};

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: dkq-icons FOLDER\n");
        return 64;
    }
    for (const int size : Sizes) {
        const QString folder = QString("%1/%2x%2/apps").arg(argv[1]).arg(size);
        QDir().mkpath(folder);
        for (const Program& program : Programs) {
            const QString path = QString("%1/%2.png").arg(folder, program.name);
            if (!dkq::programIconImage(program.icon, size).save(path)) {
                std::fprintf(stderr, "dkq-icons: cannot write %s\n", qPrintable(path));
                return 1;
            }
        }
    }
    return 0;
}
