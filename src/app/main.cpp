// VORNAX: refinement of unit-cell parameters from powder diffraction angles.
#include <QApplication>

#include <filesystem>

#include "core/catalogue.hpp"
#include "core/paths.hpp"
#include "core/session.hpp"
#include "ui/qt_messages.hpp"
#include "ui/tform1.hpp"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("VORNAX");

  vornax::WorkSession session;
  session.data_folder = vornax::locate_data_folder(
      std::filesystem::path(QCoreApplication::applicationDirPath().toStdString()));
  vornax::QtMessages messages;

  // Without the space-group catalogue there is nothing the program can calculate.
  // A current folder that vanished under the program reads as "." rather than ending it.
  std::error_code ec;
  const std::filesystem::path current = std::filesystem::current_path(ec);
  session.working_folder = ec ? std::filesystem::path(".") : current;
  if (!std::filesystem::is_regular_file(vornax::find_data_file(session, "spgr2.dat"))) {
    messages.error(vornax::CatalogueMissing{}.what());
    return 1;
  }

  try {
    // The main window creates the other windows, hidden, in their fixed order.
    vornax::Tform1 window(session, messages);
    messages.set_parent(&window);
    if (window.fatal()) return 1;
    window.show();
    return app.exec();
  } catch (const vornax::CatalogueMissing& e) {
    messages.error(e.what());
    return 1;
  }
}
