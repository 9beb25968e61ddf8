// The desktop program: the main window, then the report window, then the message loop
// until the main window is closed.
#include <QApplication>
#include <QSocketNotifier>

#include "gui/frm_main.h"
#include "gui/frm_report.h"
#include "gui/translations.h"
#include "report/report.h"
#include "settings/settings.h"
#include "system/program_dir.h"
#include "system/large_memory.h"

#ifndef _WIN32
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>

namespace {

int signalPipe[2] = {-1, -1};

void onTerminate(int) {
    const char c = 1;
    [[maybe_unused]] const auto n = ::write(signalPipe[1], &c, 1);
}

// A session logout or `kill` closes the main window as the user would, so the settings
// are written and no table is left half-way: the signal only wakes the message loop.
void closeOnTerminate(QWidget* window) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [window] {
        char c;
        [[maybe_unused]] const auto n = ::read(signalPipe[0], &c, 1);
        window->close();
    });
    struct sigaction action {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

}  // namespace
#endif

int main(int argc, char** argv) {
    strnum::keepFreedMemory();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("strnum"));
    strnum::installRussianTranslations(app);

    strnum::Report report;
    strnum::TfrmMain frmMain(report, strnum::programDirectory() / strnum::kSettingsFileName);
    strnum::TfrmReport frmReport(report, QString::fromStdString(frmMain.settings().printerDevice));
    frmMain.setReportWindow(&frmReport);
#ifndef _WIN32
    closeOnTerminate(&frmMain);
#endif
    frmMain.show();
    return QApplication::exec();
}
