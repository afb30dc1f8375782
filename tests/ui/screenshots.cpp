// Renders each tab of the main window to a PNG file, with real data: silicon peaks
// typed, the Fd-3m cell calculated, the reflections selected automatically and the
// cell refined, all through the same calls a user's clicks and keys make.
//
// Usage: vornax_screenshots OUTPUT_FOLDER   (run with QT_QPA_PLATFORM=offscreen)
#include <QApplication>
#include <QDir>
#include <QMenuBar>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>

#include "ui/tform6.hpp"

#include "core/messages.hpp"
#include "core/paths.hpp"
#include "core/session.hpp"
#include "ui_driver.hpp"
#include "support/recording_messages.hpp"

using namespace vornax;

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  const QDir out(QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[1])));
  if (!out.mkpath(".")) {
    std::fprintf(stderr, "cannot create %s\n", argv[1]);
    return 1;
  }
  // The program writes its result files into the current folder: keep them apart.
  QTemporaryDir work;
  if (!work.isValid() || !QDir::setCurrent(work.path())) return 1;

  WorkSession s;
  s.data_folder = locate_data_folder(QCoreApplication::applicationDirPath().toStdString());
  RecordingMessages messages;
  Tform1 w(s, messages);
  // The offscreen screen is small; show the window as a desktop screen does, whole.
  w.resize(w.size().expandedTo(w.main_panel()->minimumSizeHint() +
                               QSize(0, w.menuBar()->sizeHint().height())));
  w.show();
  QApplication::setActiveWindow(&w);
  if (!QTest::qWaitForWindowActive(&w)) std::fprintf(stderr, "the window did not become active\n");

  // Silicon at Cu Kα1 with a small zero error, as a real pattern would have it.
  std::vector<double> angles;
  for (const driver::Peak& p :
       driver::diamond_peaks(driver::kSiliconA, driver::kCuKa1, 125, 0.040, false))
    angles.push_back(p.two_theta);
  driver::type_peaks(w, "1.540593", angles);
  driver::enter_cell(w, "Cubic", "F d -3 m:2", "5.428", "1.540593", "20", "130");
  // A measured profile to go with the peaks: a Gaussian line at each peak on a slowly
  // falling background, on the 0..100 scale the profile readers give.
  for (int i = 0; i <= 5500; ++i) {
    const float tt = 20.0f + 0.02f * static_cast<float>(i);
    double y = 8 + 6 * std::exp(-(tt - 20) / 40);
    int n = 0;
    for (double a : angles) y += (90 - 8 * n++ % 60) * std::exp(-std::pow((tt - a) / 0.08, 2));
    s.profile.points.push_back({tt, static_cast<float>(std::min(100.0, y)), tt});
  }
  s.profile.file_name = "silicon.xy";
  w.refresh(Changed::Profile);
  driver::auto_select(w, "0.3");
  driver::refine(w, 1);

  bool ok = s.results.refined;
  for (const std::string& m : messages.texts()) {
    std::fprintf(stderr, "message: %s\n", m.c_str());
    ok = false;
  }
  const char* names[] = {"1-measured-reflections.png", "2-initial-cell-parameters.png",
                         "3-selection-of-the-reflections.png", "4-cell-refinement.png"};
  for (int i = 0; i < 4; ++i) {
    w.tabs()->setCurrentIndex(i);
    driver::settle();
    const QString file = out.filePath(names[i]);
    if (!w.grab().save(file)) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
      ok = false;
    } else {
      std::printf("%s\n", qPrintable(file));
    }
  }
  // The diagram window after the refinement: profile, bars, pairs and obs - calc.
  Tform6* diagram = w.diagram_window();
  diagram->resize(1020, 360);
  diagram->show();
  w.tabs()->setCurrentIndex(Tform1::kSelectionTab);
  w.refresh(Changed::None);
  driver::settle();
  const QString file = out.filePath("5-diagram.png");
  if (!diagram->grab().save(file)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
    ok = false;
  } else {
    std::printf("%s\n", qPrintable(file));
  }
  return ok ? 0 : 1;
}
