// The print command: the printout of an image's readings, drawn by the same page code as
// the desktop program's "Imprimir", into a PDF print file. Qt draws it without a display.

#include <QGuiApplication>
#include <cstdlib>

#include "app/open_command.h"
#include "app/write_error.h"
#include "command_line.h"
#include "print/print_pages.h"
#include "print/printout.h"

namespace {

// Qt's own warnings (a missing runtime directory, say) are not the command's messages.
void QuietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
    }
}

}  // namespace

int RunPrint(const CommandLine& args, ConsoleWindowLayer&) {
    if (LoadDataFile(args.positional[0], data_in, WindowId::Main) != FileLoad::Loaded) {
        return EXIT_FAILED;
    }
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    qInstallMessageHandler(QuietQtMessages);
    static char name[] = "razurozavi-cli";
    static char* qt_argv[] = {name, nullptr};
    int qt_argc = 1;
    QGuiApplication application(qt_argc, qt_argv);
    const std::string path = AbsolutePath(args.positional[1]);
    if (!PrintToPdfFile(ReadingsPrintout(data_in), path)) {
        ShowWriteError(WindowId::Data, path);
        return EXIT_FAILED;
    }
    return EXIT_OK;
}
