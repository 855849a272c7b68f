// payroll_window: a host application's own window with the advances panel inside it.
//
//   payroll_window DATABASE [LOGIN]      (LOGIN defaults to "gestionnaire")
//
// The window is the application's: a menu bar, a status line, and in the middle a QWidget
// of its own that receives the panel. Embedding is the few lines marked below.
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <memory>

#include "host/panel_session.h"
#include "toolkit/qt/qt_toolkit.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc < 2) {
    QMessageBox::critical(nullptr, "Paie", "usage: payroll_window DATABASE [LOGIN]");
    return 2;
  }
  QMainWindow window;
  window.setWindowTitle("Paie — acomptes");
  window.menuBar()->addMenu("&Fichier")->addAction("&Quitter", &window, &QWidget::close);
  auto* place = new QWidget;  // the host's widget that will hold the panel
  place->setFont(varnolde::QtToolkit::HostFontForLayout());
  new QVBoxLayout(place);
  window.setCentralWidget(place);

  // Embedding the panel:
  varnolde::QtToolkit toolkit(place);
  std::unique_ptr<varnolde::host::PanelSession> session;
  try {
    session = varnolde::host::PanelSession::Open(toolkit, argv[1], {argc > 2 ? argv[2] : "gestionnaire", ""});
  } catch (const varnolde::ComponentError& error) {
    QMessageBox::critical(nullptr, "Paie", QString::fromStdString(
        "Erreur " + varnolde::FormatErrorNumber(error.number()) + " : " + error.what()));
    return 1;
  }

  window.statusBar()->showMessage("Base : " + QString::fromLocal8Bit(argv[1]));
  window.show();
  // For unattended checks: open, then leave at once.
  if (qEnvironmentVariableIsSet("PAYROLL_WINDOW_QUIT")) QTimer::singleShot(0, &window, &QWidget::close);
  return application.exec();
}
