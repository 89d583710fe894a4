#include "ui/print_dialog.h"

#include <QPrintDialog>
#include <QPrinter>

#include "base/window_layer.h"
#include "print/print_pages.h"

bool PrintFromDataWindow(QWidget* owner, const MemoryImage& image) {
    // One job at a time: a second "Imprimir" while the dialog or the job runs does nothing.
    static bool printing = false;
    if (printing) {
        return false;
    }
    printing = true;
    struct Done {
        ~Done() { printing = false; }
    } done;

    const Printout printout = DataWindowPrintout(image, LastChosenFile());
    const int pages = static_cast<int>(printout.size());
    QPrinter printer(QPrinter::HighResolution);
    SetUpPrinter(printer);
    QPrintDialog dialog(&printer, owner);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    dialog.setMinMax(1, pages);
    dialog.setFromTo(1, pages);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    return PrintJob(printer, printout);
}

bool PrintJob(QPrinter& printer, const Printout& printout) {
    int first = 1;
    int last = static_cast<int>(printout.size());
    if (printer.printRange() == QPrinter::PageRange) {
        first = printer.fromPage();
        last = printer.toPage();
    }
    if (!PaintPrintout(printer, printout, first, last)) {
        ShowMessage(WindowId::Data, MSG_PRINTER_PROBLEM, "", MsgIcon::None);
        return false;
    }
    return true;
}
