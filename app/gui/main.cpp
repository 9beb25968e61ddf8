// The desktop program: the main window, then the report window, then the message loop
// until the main window is closed.
#include <QApplication>

#include "UREPORT2/gui/frm_report.h"
#include "UREPORT2/report.h"
#include "app/gui/frm_main.h"
#include "app/program_dir.h"
#include "app/settings.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("strnum"));
    QApplication::setApplicationDisplayName(QStringLiteral("Простановка стр. номеров"));

    strnum::Report report;
    strnum::TfrmMain frmMain(report, strnum::programDirectory() / strnum::kSettingsFileName);
    strnum::TfrmReport frmReport(report, QString::fromStdString(frmMain.settings().printerDevice));
    frmMain.setReportWindow(&frmReport);
    frmMain.show();
    return QApplication::exec();
}
